#include "win32/message_boxes.h"

#include "platform/windows/wide_text.h"

namespace fwu::win32 {
namespace {

using window::MessageAnswer;

// The icon, the buttons and which of them is the default.
UINT messageBoxStyle(const window::MessageBoxRequest& request) {
    UINT style = request.icon == window::MessageIcon::Critical ? MB_ICONERROR : MB_ICONWARNING;
    if (request.buttons == window::MessageButtons::YesNo) {
        style |= MB_YESNO;
        style |= request.defaultAnswer == MessageAnswer::No ? MB_DEFBUTTON2 : MB_DEFBUTTON1;
    } else {
        style |= MB_OK;
    }
    return style;
}

MessageAnswer answerOf(int result, const window::MessageBoxRequest& request) {
    switch (result) {
        case IDYES:
            return MessageAnswer::Yes;
        case IDNO:
            return MessageAnswer::No;
        case IDOK:
            return MessageAnswer::Ok;
        default:
            return request.defaultAnswer;
    }
}

}  // namespace

MessageAnswer showMessageBox(HWND owner, const window::MessageBoxRequest& request) {
    const std::wstring text = platform::windows::toUtf16(request.text);
    const std::wstring title = platform::windows::toUtf16(request.title);
    const int result = MessageBoxW(owner, text.c_str(), title.c_str(), messageBoxStyle(request));
    return answerOf(result, request);
}

}  // namespace fwu::win32
