// The seven dialog procedures.
#pragma once

#include <cstdint>

#include "platform/windowing.h"

namespace orb {

bool warningDialogProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
bool addressDialogProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
bool credentialsDialogProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
bool confirmDialogProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
bool connectingDialogProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
bool progressDialogProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
bool successDialogProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);

}  // namespace orb
