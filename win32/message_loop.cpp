#include "win32/message_loop.h"

namespace fwu::win32 {
namespace {

void dispatch(HWND form, MSG& message) {
    if (IsWindow(form) && IsDialogMessageW(form, &message))
        return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

}  // namespace

int runMessageLoop(HWND form) {
    MSG message{};
    BOOL got = FALSE;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0)
        dispatch(form, message);
    return got == 0 ? static_cast<int>(message.wParam) : 1;
}

void processPendingMessages(HWND form) {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        dispatch(form, message);
    }
}

}  // namespace fwu::win32
