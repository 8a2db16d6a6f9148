#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "window/message_box.h"

namespace fwu::win32 {

// Shows the box with MessageBoxW, modal over `owner` (none: over no window), and returns the
// answer chosen; the default answer when the box could not be shown.
window::MessageAnswer showMessageBox(HWND owner, const window::MessageBoxRequest& request);

}  // namespace fwu::win32
