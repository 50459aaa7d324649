// The run's "main thread" under a front-end of the portable dialog manager:
// the front-end's own thread keeps the view (the event loop, the terminal, the
// unattended driver), the program runs beside it.
#pragma once

#include <functional>

namespace orb::dialogs {

// Runs `program` on a second thread; when it returns, `beforeEnd` (when given)
// runs on that thread and the process ends with the program's result
// (endProcess, so every process-end hook runs). Returns at once.
void startProgramThread(const std::function<int()>& program, const std::function<void()>& beforeEnd = nullptr);

}  // namespace orb::dialogs
