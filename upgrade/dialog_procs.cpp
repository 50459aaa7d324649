#include "upgrade/dialog_procs.h"

#include <cstdio>

#include "base/diagnostics_log.h"
#include "base/ipv4_address_parser.h"
#include "base/ipv4_text.h"
#include "base/trace.h"
#include "web/status_page_fields.h"
#include "upgrade/center_window.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/dialog_texts.h"
#include "upgrade/error_box.h"
#include "upgrade/run_observer.h"
#include "upgrade/run_state.h"

namespace orb {
namespace {

// Control ids of the dialogs' text fields.
constexpr int kWarningTextId = 1021;
constexpr int kHeadTextId = 1007;
constexpr int kInstructionTextId = 1008;

constexpr int kAddressReadLimit = 63;

int commandId(uintptr_t wParam) { return static_cast<int>(wParam & 0xffff); }

void setTitle(WindowHandle window, const char* format, const char* argument) {
    char title[160];
    std::snprintf(title, sizeof title, format, argument);
    setWindowTitle(window, title);
}

struct VersionText {
    char text[kVersionTextMax + 1];
    VersionText() { readVersionText(runState.firmwareImage, text); }
};

// Handles OK and Cancel of a modal dialog that closes with 1 or 0.
bool closeOnOkOrCancel(WindowHandle window, int id) {
    if (id == kIdOk) {
        endDialog(window, 1);
        return true;
    }
    if (id == kIdCancel) {
        endDialog(window, 0);
        return true;
    }
    return false;
}

// Cancel in a progress window ends the whole run from this window's thread.
bool cancelProgressWindow(WindowHandle window, int id) {
    if (id != kIdCancel) return false;
    destroyWindow(window);
    failRun(RunOutcome::UserAbort);
}

void fillPcAddressCombo(WindowHandle window) {
    for (uint32_t address : runState.pcAddressList) {
        if (address == 0) break;
        addComboEntry(window, kPcAddressComboId, formatIPv4(address).c_str());
    }
    selectComboEntry(window, kPcAddressComboId, 0);
}

void reportAddressOffered() {
    RunObserver* observer = runObserver();
    if (observer == nullptr) return;
    int count = 0;
    while (count < kPcAddressListSize && runState.pcAddressList[count] != 0) ++count;
    observer->addressOffered(runState.pcAddressList, count, VersionText().text);
}

bool acceptAddress(WindowHandle window) {
    readControlText(window, kAddressFieldId, runState.deviceAddressText, kAddressReadLimit);
    parseIPv4Address(runState.deviceAddressText, &runState.deviceAddress);
    if (runState.deviceAddress == 0) {
        showMessageBox(window, "Invalid IP Address", "Error", kMbOk);
        focusControl(window, kAddressFieldId);
        return true;
    }
    // With an empty address list nothing is selected and the PC address keeps
    // its start-up value.
    int selected = readComboSelection(window, kPcAddressComboId);
    if (selected >= 0 && selected < kPcAddressListSize) runState.pcAddress = runState.pcAddressList[selected];
    trace("+++ using %x\n", runState.pcAddress);
    endDialog(window, 1);
    return true;
}

}  // namespace

// The procedures' parameters are platform/windowing.h's DialogProc, as the window manager calls them.
// NOLINTBEGIN(bugprone-easily-swappable-parameters)

bool warningDialogProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == kWmInitDialog) {
        setTitle(window, "%s Firmware Upgrade", runState.productDisplayName);
        setControlText(window, kWarningTextId, kWarningText);
        focusControl(window, kIdCancel);
        centerWindow(window);
        reportWindowShown(RunStep::Warning, window);
        return false;
    }
    if (message == kWmCommand) return closeOnOkOrCancel(window, commandId(wParam));
    return false;
}

bool addressDialogProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == kWmInitDialog) {
        fillPcAddressCombo(window);
        setTitle(window, "%s Firmware Upgrade", runState.productDisplayName);
        setControlText(window, kHeadTextId, kAddressHeadText);
        setControlText(window, kInstructionTextId, kAddressInstructionText);
        char version[64];
        std::snprintf(version, sizeof version, "Version %s", VersionText().text);
        setControlText(window, kImageVersionFieldId, version);
        focusControl(window, kAddressFieldId);
        centerWindow(window);
        reportAddressOffered();
        reportWindowShown(RunStep::Address, window);
        return false;
    }
    if (message != kWmCommand) return false;
    int id = commandId(wParam);
    if (id == kIdOk) return acceptAddress(window);
    if (id == kIdCancel) {
        endDialog(window, 0);
        return true;
    }
    return false;
}

bool credentialsDialogProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == kWmInitDialog) {
        setControlText(window, kHeadTextId, kPasswordText);
        setControlText(window, kUserFieldId, kDefaultUserName);
        setControlText(window, kPasswordFieldId, "");
        focusControl(window, kPasswordFieldId);
        centerWindow(window);
        reportWindowShown(RunStep::Credentials, window);
        return false;
    }
    if (message != kWmCommand) return false;
    int id = commandId(wParam);
    if (id == kIdOk) {
        readControlText(window, kUserFieldId, runState.credentials.user, kCredentialReadLimit);
        readControlText(window, kPasswordFieldId, runState.credentials.password, kCredentialReadLimit);
        // What the run sends may be shorter than what was typed (the dialog
        // managers mask the field's whole text): the log masks these bytes too.
        addDiagnosticsSecret(runState.credentials.password);
    }
    return closeOnOkOrCancel(window, id);
}

bool confirmDialogProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == kWmInitDialog) {
        setTitle(window, "Confirm Upgrade to Ver. %s", VersionText().text);
        setControlText(window, kHeadTextId, kConfirmText);
        for (StatusField field : kConfirmationOrder) {
            const char* value = statusFieldValue(runState.deviceInfo, statusPageField(field));
            setControlText(window, confirmationFieldId(field), value);
        }
        centerWindow(window);
        reportWindowShown(RunStep::Confirm, window);
        return true;
    }
    if (message == kWmCommand) return closeOnOkOrCancel(window, commandId(wParam));
    return false;
}

bool connectingDialogProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == kWmInitDialog) {
        setTitle(window, "Connecting with ORB@%s", runState.deviceAddressText);
        centerWindow(window);
        setProgressRange(window, kProgressBarId, 0, 100);
        return true;
    }
    if (message == kWmCommand) return cancelProgressWindow(window, commandId(wParam));
    return false;
}

bool progressDialogProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == kWmInitDialog) {
        centerWindow(window);
        return true;
    }
    if (message == kWmCommand) return cancelProgressWindow(window, commandId(wParam));
    return false;
}

bool successDialogProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == kWmInitDialog) {
        setTitle(window, "ORB@%s Upgrade Successful!", runState.deviceAddressText);
        setControlText(window, kHeadTextId, kSuccessText);
        setControlText(window, kSoftwareFieldId, runState.deviceInfo.softwareVersion);
        centerWindow(window);
        reportWindowShown(RunStep::Success, window);
        return true;
    }
    if (message == kWmCommand) return closeOnOkOrCancel(window, commandId(wParam));
    return false;
}

// NOLINTEND(bugprone-easily-swappable-parameters)

}  // namespace orb
