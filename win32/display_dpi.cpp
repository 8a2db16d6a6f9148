#include "win32/display_dpi.h"

namespace fwu::win32 {
namespace {

// Windows 10 (1607) and later tell a window's own DPI; earlier systems lack these calls, so they
// are looked up rather than imported, and the program still starts there.
using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiCall = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

template <typename Call>
Call user32Call(const char* name) {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    // Through void(*)(), the type GCC takes as "any function" without a warning.
    return user32
               ? reinterpret_cast<Call>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name)))
               : nullptr;
}

}  // namespace

unsigned displayDpi(HWND window) {
    static const auto getDpiForWindow = user32Call<GetDpiForWindowCall>("GetDpiForWindow");
    if (getDpiForWindow) {
        if (const UINT dpi = getDpiForWindow(window); dpi != 0)
            return dpi;
    }
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<unsigned>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

SIZE windowSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD extendedStyle,
                         unsigned dpi) {
    static const auto adjustForDpi =
        user32Call<AdjustWindowRectExForDpiCall>("AdjustWindowRectExForDpi");
    RECT bounds{0, 0, clientWidth, clientHeight};
    if (!adjustForDpi || !adjustForDpi(&bounds, style, FALSE, extendedStyle, dpi))
        AdjustWindowRectEx(&bounds, style, FALSE, extendedStyle);
    return {bounds.right - bounds.left, bounds.bottom - bounds.top};
}

}  // namespace fwu::win32
