// Template and control ids of the program's dialogs.
#pragma once

#include "web/status_page_fields.h"

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

// The fields that a person (or the unattended driver) fills in or reads.
inline constexpr int kAddressFieldId = 1000;       // address dialog: the adapter's address
inline constexpr int kImageVersionFieldId = 1015;  // address dialog: "Version ..." of the image
inline constexpr int kPcAddressComboId = 1017;     // address dialog: this computer's addresses
inline constexpr int kUserFieldId = 1003;          // credentials dialog
inline constexpr int kPasswordFieldId = 1005;      // credentials dialog
inline constexpr int kSerialFieldId = 1002;        // confirmation dialog: the status page's fields
inline constexpr int kMacFieldId = 1003;
inline constexpr int kSoftwareFieldId = 1004;  // also the success dialog's version
inline constexpr int kHardwareFieldId = 1005;
inline constexpr int kProductFieldId = 1006;

// The confirmation dialog's control that shows each field of the status page.
constexpr int confirmationFieldId(StatusField field) {
    switch (field) {
        case StatusField::ProductName: return kProductFieldId;
        case StatusField::MacAddress: return kMacFieldId;
        case StatusField::SoftwareVersion: return kSoftwareFieldId;
        case StatusField::HardwareVersion: return kHardwareFieldId;
        case StatusField::SerialNumber: return kSerialFieldId;
    }
    return 0;  // no other field
}

}  // namespace orb
