#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace fwu::win32 {

// The DPI of the display that shows `window`. Systems before Windows 10 have one DPI for every
// display: that one.
unsigned displayDpi(HWND window);

// The outer size of a window of `style` whose client area is `clientWidth` × `clientHeight`
// pixels, with its frame and caption as drawn at `dpi`.
SIZE windowSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD extendedStyle,
                         unsigned dpi);

}  // namespace fwu::win32
