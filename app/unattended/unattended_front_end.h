// The unattended front-end: answers the program's dialogs from the command
// line, through the same dialog procedures a person's clicks reach, and
// writes what a person would have seen as JSON lines on standard output (see
// unattended_events.h), ending with one "result" event.
#pragma once

#include <functional>

#include "app/unattended/unattended_options.h"

namespace orb::unattended {

// Template and control ids of resources/dialogs.rc that the answers need (the
// program's side names them in upgrade/dialog_ids.h; a test keeps the two equal).
namespace ids {
inline constexpr int kWarning = 139;
inline constexpr int kAddress = 101;
inline constexpr int kConnecting = 105;
inline constexpr int kCredentials = 104;
inline constexpr int kConfirm = 103;
inline constexpr int kWaiting = 114;
inline constexpr int kUpload = 110;
inline constexpr int kSuccess = 111;
inline constexpr int kAddressField = 1000;
inline constexpr int kImageVersionField = 1015;
inline constexpr int kPcAddressCombo = 1017;
inline constexpr int kUserField = 1003;
inline constexpr int kPasswordField = 1005;
inline constexpr int kSoftwareVersionField = 1004;
}  // namespace ids

// Runs `program` (the start-up and the sequence) on a second thread for the
// one adapter of `options` and answers its dialogs on this one. The password
// comes from the environment variable ORB_PASSWORD. SIGINT, SIGTERM and SIGHUP press
// Cancel in the open window, as a person would. Never returns: the program
// ends the process.
[[noreturn]] void runAdapterRun(const UnattendedOptions& options, const std::function<int()>& program);

}  // namespace orb::unattended
