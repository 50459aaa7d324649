#include "dialogs/program_thread.h"

#include <thread>

#include "platform/process.h"

namespace orb::dialogs {

void startProgramThread(const std::function<int()>& program, const std::function<void()>& beforeEnd) {
    // Detached: nothing joins it, the process ends when the program does.
    std::thread([program, beforeEnd] {
        int result = program();
        if (beforeEnd) beforeEnd();
        endProcess(result);
    }).detach();
}

}  // namespace orb::dialogs
