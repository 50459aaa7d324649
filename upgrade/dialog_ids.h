// Template and control ids of the program's dialogs.
#pragma once

namespace orb {

inline constexpr int kWarningDialogId = 139;
inline constexpr int kAddressDialogId = 101;
inline constexpr int kConnectingWindowId = 105;
inline constexpr int kCredentialsDialogId = 104;
inline constexpr int kConfirmDialogId = 103;
inline constexpr int kWaitingWindowId = 114;
inline constexpr int kUploadWindowId = 110;
inline constexpr int kSuccessDialogId = 111;

inline constexpr int kProgressBarId = 1010;
inline constexpr int kIconId = 106;

}  // namespace orb
