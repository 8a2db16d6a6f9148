#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace fwu::win32 {

// The program's message loop: runs until WM_QUIT and returns its exit code. Keyboard messages
// for `form` go through the dialog manager (Tab between the controls, Space on a button).
int runMessageLoop(HWND form);

// Dispatches every message pending for the program's thread, without waiting for more. A
// WM_QUIT met here is posted again, for the message loop to end on.
void processPendingMessages(HWND form);

}  // namespace fwu::win32
