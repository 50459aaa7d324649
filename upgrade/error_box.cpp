#include "upgrade/error_box.h"

#include "platform/process.h"
#include "platform/windowing.h"

namespace orb {

void showErrorBox(const char* message, const char* caption) {
    showMessageBox(nullptr, message, caption != nullptr ? caption : kErrorBoxCaption, kMbOk | kMbTaskModal);
}

void failRun(const char* message) {
    showErrorBox(message);
    endProcess(0);
}

}  // namespace orb
