#include "upgrade/error_box.h"

#include "platform/process.h"
#include "platform/windowing.h"
#include "upgrade/run_end.h"
#include "upgrade/run_observer.h"

namespace orb {

void showErrorBox(const char* message, const char* caption) {
    showMessageBox(nullptr, message, caption != nullptr ? caption : kErrorBoxCaption, kMbOk | kMbTaskModal);
}

void showFailure(RunOutcome outcome, const char* message) {
    claimRunEnd(outcome);
    if (message == nullptr) message = describeOutcome(outcome).message;
    reportRunEnded(outcome, message);
    if (message != nullptr) showErrorBox(message);
}

void failRun(RunOutcome outcome) {
    showFailure(outcome);
    endProcess(0);
}

}  // namespace orb
