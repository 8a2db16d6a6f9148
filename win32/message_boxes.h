#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "window/message_box.h"

namespace fwu::win32 {

// The MessageBoxW style of a request: its icon, its buttons and which of them is the default.
UINT messageBoxStyle(const window::MessageBoxRequest& request);
// The answer of MessageBoxW's result; a result that is none of the request's buttons (the box
// could not be shown) is the request's default answer.
window::MessageAnswer answerOf(int result, const window::MessageBoxRequest& request);

// Shows the box, modal over `owner` (none: over no window), and returns the answer chosen.
window::MessageAnswer showMessageBox(HWND owner, const window::MessageBoxRequest& request);

}  // namespace fwu::win32
