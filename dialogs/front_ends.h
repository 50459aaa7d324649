// The Linux front-ends of the portable dialog manager. Each runs the program
// (`program`, the run's main thread) with its view installed and ends the
// process when the program returns; neither returns once it has started the
// program.
#pragma once

#include <functional>

namespace orb::dialogs {

// The terminal view: standard input must be a terminal. The program runs on a
// second thread; this thread reads keys and draws.
[[noreturn]] void runWithTerminalView(const std::function<int()>& program);

// The Qt view: Qt runs on this (the process's main) thread, the program on a
// second thread. Returns, having started nothing, only when the display
// cannot be opened (DISPLAY or WAYLAND_DISPLAY set, but no server answers), so
// that the caller can fall back to the terminal.
void runWithQtView(int argc, char** argv, const std::function<int()>& program);

}  // namespace orb::dialogs
