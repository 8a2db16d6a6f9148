#include "win32/control_windows.h"

#include <algorithm>
#include <string>

#include "platform/windows/wide_text.h"
#include "win32/display_dpi.h"

namespace fwu::win32 {
namespace {

using window::ControlDesign;
using window::ControlId;
using window::ControlKind;

// Clear of IDOK and IDCANCEL, which the dialog manager sends for Enter and Escape.
constexpr int FirstCommandId = 100;

struct WindowKind {
    const wchar_t* className;
    DWORD style;
    DWORD extendedStyle;
};

WindowKind windowKindOf(ControlKind kind) {
    switch (kind) {
        case ControlKind::Frame:
            return {L"BUTTON", BS_GROUPBOX, 0};
        case ControlKind::Label:
            return {L"STATIC", SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE, 0};
        case ControlKind::ValueLabel:
            // One line, cut with an ellipsis when a device's text is longer than the label.
            return {L"STATIC",
                    SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_SUNKEN | SS_CENTERIMAGE | SS_ENDELLIPSIS,
                    0};
        case ControlKind::Button:
            return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
        case ControlKind::TextBox:
            return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
        case ControlKind::Trough:
            // Never drawn over the fill, which lies in front of it.
            return {L"STATIC", SS_LEFT | WS_CLIPSIBLINGS, WS_EX_CLIENTEDGE};
        case ControlKind::ProgressFill:
            // The form paints it (FillPainter).
            return {L"STATIC", SS_OWNERDRAW, 0};
        case ControlKind::StatusText:
            // Wrapped at word breaks.
            return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
    }
    return {L"STATIC", 0, 0};
}

HWND makeControl(HWND form, const ControlDesign& design) {
    const WindowKind kind = windowKindOf(design.kind);
    const DWORD state = (design.visible ? WS_VISIBLE : 0) | (design.enabled ? 0 : WS_DISABLED);
    const std::wstring caption = platform::windows::toUtf16(design.caption);
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(form, GWLP_HINSTANCE));
    return CreateWindowExW(kind.extendedStyle, kind.className, caption.c_str(),
                           WS_CHILD | kind.style | state, 0, 0, 0, 0, form,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(commandIdOf(design.id))),
                           instance, nullptr);
}

}  // namespace

int commandIdOf(ControlId control) {
    return FirstCommandId + static_cast<int>(control);
}

// Child windows are stacked in the order they are made, the first on top, and the dialog
// manager tabs through them in that order: made in tab order, Pic lies in front of Picture1.
// The frame is the exception: its labels are siblings laid over it (a label inside a disabled
// frame would be drawn grey), so it goes to the bottom, under them; it takes no focus, so the
// tab order stays. Screen readers name a control by the static text just before it in this
// order, so each value follows the caption that names it; neither takes the focus either.
ControlWindows::ControlWindows(HWND form) : form_(form) {
    constexpr UINT KeepPlace = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
    for (const ControlDesign& design : window::controlDesigns())
        windows_[static_cast<std::size_t>(design.id)] = makeControl(form, design);
    for (const ControlDesign& design : window::controlDesigns()) {
        if (design.namedBy)
            SetWindowPos((*this)[design.id], (*this)[*design.namedBy], 0, 0, 0, 0, KeepPlace);
    }
    SetWindowPos((*this)[ControlId::Frame1], HWND_BOTTOM, 0, 0, 0, 0, KeepPlace);
}

void ControlWindows::layOut(unsigned dpi) {
    const window::TwipsScale scale(dpi, dpi);
    const window::PixelSize client = scale.toPixels(window::formDesign().clientSize);
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(form_, GWL_STYLE));
    const auto extendedStyle = static_cast<DWORD>(GetWindowLongPtrW(form_, GWL_EXSTYLE));
    const SIZE outer = windowSizeForClient(client.width, client.height, style, extendedStyle, dpi);
    SetWindowPos(form_, nullptr, 0, 0, outer.cx, outer.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    auto fonts = std::make_unique<DesignFonts>(dpi);
    for (const ControlDesign& design : window::controlDesigns()) {
        const HWND control = (*this)[design.id];
        const window::PixelRect place = window::formPixelGeometry(design.id, scale);
        SetWindowPos(control, nullptr, place.left, place.top, place.width, place.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fonts->font(*design.font)),
                     TRUE);
    }
    fonts_ = std::move(fonts);  // the fonts of the earlier DPI are no longer used
}

std::optional<ControlId> ControlWindows::controlOf(HWND window) const {
    const auto found = std::find(windows_.begin(), windows_.end(), window);
    if (window == nullptr || found == windows_.end())
        return std::nullopt;
    return static_cast<ControlId>(found - windows_.begin());
}

}  // namespace fwu::win32
