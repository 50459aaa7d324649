#include "upgrade/error_box.h"

#include "platform/process.h"
#include "platform/windowing.h"
#include "upgrade/run_end.h"
#include "upgrade/run_observer.h"

namespace orb {

void showErrorBox(const char* message, const char* caption) {
    showMessageBox(nullptr, message, caption != nullptr ? caption : kErrorBoxCaption, kMbOk | kMbTaskModal);
}

void showFailure(RunOutcome outcome) {
    claimRunEnd(outcome);
    reportRunEnded(outcome);
    if (const char* message = describeOutcome(outcome).message) showErrorBox(message);
}

void failRun(RunOutcome outcome) {
    showFailure(outcome);
    endProcess(0);
}

}  // namespace orb
