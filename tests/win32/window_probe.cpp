// What the running firmware-update.exe shows, for scripts/check-windows-window.sh:
//   window_probe.exe        a line for the form's client area, one per control of the form, then
//                           the message boxes over it
//   window_probe.exe close  asks the form to close, as its close box does
// Each line: KIND NAME LEFT TOP WIDTH HEIGHT visible|hidden enabled|disabled TEXT, the place in
// screen pixels. A message box is a line "box", then its texts and buttons, a default button
// named "default". Exit status 1 when no form is open.
#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/windows/wide_text.h"
#include "win32/control_windows.h"
#include "win32/form_window.h"

namespace {

void print(const char* kind, std::string_view name, HWND window) {
    RECT place{};
    GetWindowRect(window, &place);
    wchar_t text[512] = L"";
    GetWindowTextW(window, text, 512);
    std::printf("%s %.*s %ld %ld %ld %ld %s %s %s\n", kind, static_cast<int>(name.size()),
                name.data(), place.left, place.top, place.right - place.left,
                place.bottom - place.top, IsWindowVisible(window) ? "visible" : "hidden",
                IsWindowEnabled(window) ? "enabled" : "disabled",
                fwu::platform::windows::toUtf8(text).c_str());
}

BOOL CALLBACK printMessageBox(HWND box, LPARAM form) {
    wchar_t className[16] = L"";
    GetClassNameW(box, className, 16);
    if (GetWindow(box, GW_OWNER) != reinterpret_cast<HWND>(form) ||
        std::wcscmp(className, L"#32770") != 0 || !IsWindowVisible(box))
        return TRUE;
    print("box", "box", box);
    for (HWND item = GetWindow(box, GW_CHILD); item; item = GetWindow(item, GW_HWNDNEXT)) {
        GetClassNameW(item, className, 16);
        const bool button = _wcsicmp(className, L"Button") == 0;
        const bool isDefault = button && (GetWindowLongW(item, GWL_STYLE) & BS_DEFPUSHBUTTON);
        print(button ? "button" : "text", isDefault ? "default" : "-", item);
    }
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    const HWND form = FindWindowW(fwu::win32::FormClass, nullptr);
    if (form == nullptr)
        return 1;
    if (argc > 1 && std::string(argv[1]) == "close")
        return PostMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
    RECT client{};
    GetClientRect(form, &client);
    MapWindowPoints(form, nullptr, reinterpret_cast<POINT*>(&client), 2);
    std::printf("form frmMain %ld %ld %ld %ld\n", client.left, client.top,
                client.right - client.left, client.bottom - client.top);
    for (const auto& design : fwu::window::controlDesigns())
        print("control", design.name, GetDlgItem(form, fwu::win32::commandIdOf(design.id)));
    EnumWindows(printMessageBox, reinterpret_cast<LPARAM>(form));
    return 0;
}
