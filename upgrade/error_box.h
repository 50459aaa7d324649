// The one way every part of the program reports a failure.
#pragma once

namespace orb {

inline constexpr const char* kErrorBoxCaption = "ORB Firwmare Upgrade Error";

// Task-modal box without owner and with an OK button only; returns when the
// user closes it. A null caption gives kErrorBoxCaption.
void showErrorBox(const char* message, const char* caption = nullptr);

// Shows the error box, then ends the process with exit code 0 from the calling
// thread.
[[noreturn]] void failRun(const char* message);

}  // namespace orb
