// Windows' style bits as the templates carry them (winuser.h, commctrl.h
// values). The rc parser, the dialog manager and the views all read styles
// through these names, so that a value is written down once.
#pragma once

#include <cstdint>

namespace orb::dialogs {

// Window styles.
inline constexpr uint32_t kWsOverlapped = 0x00000000;
inline constexpr uint32_t kWsPopup = 0x80000000;
inline constexpr uint32_t kWsChild = 0x40000000;
inline constexpr uint32_t kWsMinimize = 0x20000000;
inline constexpr uint32_t kWsVisible = 0x10000000;
inline constexpr uint32_t kWsDisabled = 0x08000000;
inline constexpr uint32_t kWsClipSiblings = 0x04000000;
inline constexpr uint32_t kWsClipChildren = 0x02000000;
inline constexpr uint32_t kWsMaximize = 0x01000000;
inline constexpr uint32_t kWsCaption = 0x00C00000;
inline constexpr uint32_t kWsBorder = 0x00800000;
inline constexpr uint32_t kWsDlgFrame = 0x00400000;
inline constexpr uint32_t kWsVScroll = 0x00200000;
inline constexpr uint32_t kWsHScroll = 0x00100000;
inline constexpr uint32_t kWsSysMenu = 0x00080000;
inline constexpr uint32_t kWsThickFrame = 0x00040000;
inline constexpr uint32_t kWsGroup = 0x00020000;
inline constexpr uint32_t kWsTabStop = 0x00010000;
inline constexpr uint32_t kWsMinimizeBox = 0x00020000;
inline constexpr uint32_t kWsMaximizeBox = 0x00010000;

// Dialog styles.
inline constexpr uint32_t kDsAbsAlign = 0x0001;
inline constexpr uint32_t kDsSysModal = 0x0002;
inline constexpr uint32_t kDs3dLook = 0x0004;
inline constexpr uint32_t kDsFixedSys = 0x0008;
inline constexpr uint32_t kDsNoFailCreate = 0x0010;
inline constexpr uint32_t kDsLocalEdit = 0x0020;
inline constexpr uint32_t kDsSetFont = 0x0040;
inline constexpr uint32_t kDsModalFrame = 0x0080;
inline constexpr uint32_t kDsNoIdleMsg = 0x0100;
inline constexpr uint32_t kDsSetForeground = 0x0200;
inline constexpr uint32_t kDsControl = 0x0400;
inline constexpr uint32_t kDsCenter = 0x0800;
inline constexpr uint32_t kDsCenterMouse = 0x1000;
inline constexpr uint32_t kDsContextHelp = 0x2000;

// Edit styles.
inline constexpr uint32_t kEsLeft = 0x0000;
inline constexpr uint32_t kEsCenter = 0x0001;
inline constexpr uint32_t kEsRight = 0x0002;
inline constexpr uint32_t kEsMultiline = 0x0004;
inline constexpr uint32_t kEsUppercase = 0x0008;
inline constexpr uint32_t kEsLowercase = 0x0010;
inline constexpr uint32_t kEsPassword = 0x0020;
inline constexpr uint32_t kEsAutoVScroll = 0x0040;
inline constexpr uint32_t kEsAutoHScroll = 0x0080;
inline constexpr uint32_t kEsNoHideSel = 0x0100;
inline constexpr uint32_t kEsOemConvert = 0x0400;
inline constexpr uint32_t kEsReadOnly = 0x0800;
inline constexpr uint32_t kEsWantReturn = 0x1000;
inline constexpr uint32_t kEsNumber = 0x2000;

// Button styles; the low four bits are the button's type.
inline constexpr uint32_t kBsTypeMask = 0x000F;
inline constexpr uint32_t kBsPushButton = 0x0000;
inline constexpr uint32_t kBsDefPushButton = 0x0001;
inline constexpr uint32_t kBsCheckBox = 0x0002;
inline constexpr uint32_t kBsAutoCheckBox = 0x0003;
inline constexpr uint32_t kBsRadioButton = 0x0004;
inline constexpr uint32_t kBs3State = 0x0005;
inline constexpr uint32_t kBsAuto3State = 0x0006;
inline constexpr uint32_t kBsGroupBox = 0x0007;
inline constexpr uint32_t kBsUserButton = 0x0008;
inline constexpr uint32_t kBsAutoRadioButton = 0x0009;
inline constexpr uint32_t kBsOwnerDraw = 0x000B;
inline constexpr uint32_t kBsLeftText = 0x0020;
inline constexpr uint32_t kBsText = 0x0000;
inline constexpr uint32_t kBsIcon = 0x0040;
inline constexpr uint32_t kBsBitmap = 0x0080;
inline constexpr uint32_t kBsLeft = 0x0100;
inline constexpr uint32_t kBsRight = 0x0200;
inline constexpr uint32_t kBsCenter = 0x0300;
inline constexpr uint32_t kBsTop = 0x0400;
inline constexpr uint32_t kBsBottom = 0x0800;
inline constexpr uint32_t kBsVCenter = 0x0C00;
inline constexpr uint32_t kBsPushLike = 0x1000;
inline constexpr uint32_t kBsMultiline = 0x2000;
inline constexpr uint32_t kBsNotify = 0x4000;
inline constexpr uint32_t kBsFlat = 0x8000;

// Static styles; the low five bits are the static's type.
inline constexpr uint32_t kSsTypeMask = 0x001F;
inline constexpr uint32_t kSsLeft = 0x0000;
inline constexpr uint32_t kSsCenter = 0x0001;
inline constexpr uint32_t kSsRight = 0x0002;
inline constexpr uint32_t kSsIcon = 0x0003;
inline constexpr uint32_t kSsBlackRect = 0x0004;
inline constexpr uint32_t kSsGrayRect = 0x0005;
inline constexpr uint32_t kSsWhiteRect = 0x0006;
inline constexpr uint32_t kSsBlackFrame = 0x0007;
inline constexpr uint32_t kSsGrayFrame = 0x0008;
inline constexpr uint32_t kSsWhiteFrame = 0x0009;
inline constexpr uint32_t kSsSimple = 0x000B;
inline constexpr uint32_t kSsLeftNoWordWrap = 0x000C;
inline constexpr uint32_t kSsBitmap = 0x000E;
inline constexpr uint32_t kSsNoPrefix = 0x0080;
inline constexpr uint32_t kSsNotify = 0x0100;
inline constexpr uint32_t kSsCenterImage = 0x0200;
inline constexpr uint32_t kSsSunken = 0x1000;

// Combo box styles; the low two bits are the box's type.
inline constexpr uint32_t kCbsTypeMask = 0x0003;
inline constexpr uint32_t kCbsSimple = 0x0001;
inline constexpr uint32_t kCbsDropDown = 0x0002;
inline constexpr uint32_t kCbsDropDownList = 0x0003;
inline constexpr uint32_t kCbsOwnerDrawFixed = 0x0010;
inline constexpr uint32_t kCbsOwnerDrawVariable = 0x0020;
inline constexpr uint32_t kCbsAutoHScroll = 0x0040;
inline constexpr uint32_t kCbsOemConvert = 0x0080;
inline constexpr uint32_t kCbsSort = 0x0100;
inline constexpr uint32_t kCbsHasStrings = 0x0200;
inline constexpr uint32_t kCbsNoIntegralHeight = 0x0400;
inline constexpr uint32_t kCbsDisableNoScroll = 0x0800;
inline constexpr uint32_t kCbsUppercase = 0x2000;
inline constexpr uint32_t kCbsLowercase = 0x4000;

// Progress bar styles.
inline constexpr uint32_t kPbsSmooth = 0x0001;
inline constexpr uint32_t kPbsVertical = 0x0004;

}  // namespace orb::dialogs
