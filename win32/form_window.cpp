#include "win32/form_window.h"

#include <stdexcept>
#include <string>
#include <utility>

#include "platform/windows/wide_text.h"
#include "win32/display_dpi.h"
#include "win32/message_boxes.h"
#include "win32/message_loop.h"

namespace fwu::win32 {
namespace {

using window::ControlId;
using window::ControlKind;

// Posted after the start-up: the first activation of the form.
constexpr UINT ActivateMessage = WM_APP + 1;
// Posted from the platform's notifications: devices may have arrived or left.
constexpr UINT DevicesChangedMessage = WM_APP + 2;
// A fixed-size window with a title bar, a close box and a minimize box.
constexpr DWORD FormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// The name the program's resource script gives its icon.
constexpr const wchar_t* IconResource = L"IDI_ICON1";

HICON programIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
    return static_cast<HICON>(LoadImageW(instance, IconResource, IMAGE_ICON,
                                         GetSystemMetrics(widthMetric),
                                         GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR));
}

void registerFormClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW formClass{};
    formClass.cbSize = sizeof formClass;
    formClass.lpfnWndProc = procedure;
    formClass.hInstance = instance;
    formClass.hIcon = programIcon(instance, SM_CXICON, SM_CYICON);
    formClass.hIconSm = programIcon(instance, SM_CXSMICON, SM_CYSMICON);
    formClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    formClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    formClass.lpszClassName = FormClass;
    RegisterClassExW(&formClass);  // fails harmlessly when a second form registers it again
}

}  // namespace

FormWindow::FormWindow(platform::HidPlatform& platform, firmware::ProgramFiles files,
                       window::WindowSettings settings) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    registerFormClass(instance, windowProcedure);
    const std::wstring title = platform::windows::toUtf16(window::formDesign().caption);
    // The window procedure keeps the handle as the window is made (WM_NCCREATE).
    if (!CreateWindowExW(0, FormClass, title.c_str(), FormStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this)) {
        throw std::runtime_error("The program's window cannot be opened (Windows error " +
                                 std::to_string(GetLastError()) + ").");
    }
    controls_ = std::make_unique<ControlWindows>(form_);
    const unsigned dpi = displayDpi(form_);
    controls_->layOut(dpi);
    const window::TwipsScale scale(dpi, dpi);
    fill_ = std::make_unique<FillPainter>(window::pixelGeometry(ControlId::Pic, scale).width);
    fillAccessibility_ = std::make_unique<FillAccessibility>(
        (*controls_)[ControlId::Pic],
        platform::windows::toUtf16(window::controlDesign(ControlId::Pic).accessibleName));
    logic_ =
        std::make_unique<window::MainWindow>(*this, scale, platform, std::move(files), settings);
}

// A form still open (a test's) goes without a word to the logic and without ending the
// message loop.
FormWindow::~FormWindow() {
    if (IsWindow(form_)) {
        SetWindowLongPtrW(form_, GWLP_USERDATA, 0);
        DestroyWindow(form_);
    }
}

void FormWindow::start() {
    logic_->start();
    PostMessageW(form_, ActivateMessage, 0, 0);
}

LRESULT CALLBACK FormWindow::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<FormWindow*>(
            reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->form_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr || !form->logic_)  // still being made, or being destroyed by its owner
        return DefWindowProcW(window, message, wParam, lParam);
    return form->handleMessage(message, wParam, lParam);
}

LRESULT FormWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            // The dialog manager sends IDOK for Enter where no button is the default.
            if (LOWORD(wParam) == IDOK && lParam == 0)
                pressFocusedButton();
            else
                commandReceived(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
            return 0;
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item.hwndItem != (*controls_)[ControlId::Pic])
                break;
            fill_->paint(item.hDC, item.rcItem);
            return TRUE;
        }
        case WM_CTLCOLORSTATIC:
            return staticControlColours(reinterpret_cast<HDC>(wParam),
                                        reinterpret_cast<HWND>(lParam));
        case WM_ACTIVATE:
            // The control that had the focus gets it back when the form is active again.
            if (LOWORD(wParam) == WA_INACTIVE) {
                lastFocus_ = GetFocus();
            } else if (controls_->controlOf(lastFocus_) && IsWindowEnabled(lastFocus_)) {
                SetFocus(lastFocus_);
                return 0;
            }
            break;
        case WM_CLOSE:
            if (logic_->closeRequested())
                DestroyWindow(form_);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_DPICHANGED:
            dpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case ActivateMessage:
            logic_->activate();
            return 0;
        case DevicesChangedMessage:
            logic_->devicesChanged();
            return 0;
        default:
            break;
    }
    return DefWindowProcW(form_, message, wParam, lParam);
}

void FormWindow::commandReceived(HWND control, WORD notification) {
    const std::optional<ControlId> id = controls_->controlOf(control);
    if (id && notification == BN_CLICKED && window::controlDesign(*id).kind == ControlKind::Button)
        logic_->click(*id);
}

void FormWindow::pressFocusedButton() {
    const HWND focused = GetFocus();
    const std::optional<ControlId> id = controls_->controlOf(focused);
    if (id && window::controlDesign(*id).kind == ControlKind::Button && IsWindowEnabled(focused))
        logic_->click(*id);
}

// The value labels are drawn in the system's window colours; every other static control in the
// form's own.
LRESULT FormWindow::staticControlColours(HDC context, HWND control) {
    const std::optional<ControlId> id = controls_->controlOf(control);
    if (!id || window::controlDesign(*id).kind != ControlKind::ValueLabel) {
        return DefWindowProcW(form_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(context),
                              reinterpret_cast<LPARAM>(control));
    }
    SetTextColor(context, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(context, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
}

// The form moved to a display of another DPI: everything is placed and lettered anew there.
void FormWindow::dpiChanged(unsigned dpi, const RECT& suggested) {
    SetWindowPos(form_, nullptr, suggested.left, suggested.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    controls_->layOut(dpi);
    logic_->rescale(window::TwipsScale(dpi, dpi));
}

void FormWindow::showWindow() {
    ShowWindow(form_, SW_SHOW);
    // Painted at once, children too: the device search that follows holds up the message loop.
    RedrawWindow(form_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// Synchronous, as the logic expects: WM_CLOSE asks the logic, as every close does.
void FormWindow::closeWindow() {
    SendMessageW(form_, WM_CLOSE, 0, 0);
}

void FormWindow::setCaption(ControlId control, std::string_view text) {
    SetWindowTextW((*controls_)[control], platform::windows::toUtf16(text).c_str());
}

void FormWindow::setEnabled(ControlId control, bool enabled) {
    EnableWindow((*controls_)[control], enabled ? TRUE : FALSE);
}

void FormWindow::setVisible(ControlId control, bool visible) {
    ShowWindow((*controls_)[control], visible ? SW_SHOWNA : SW_HIDE);
}

void FormWindow::setFocus(ControlId control) {
    SetFocus((*controls_)[control]);
}

std::optional<ControlId> FormWindow::focusedControl() const {
    return controls_->controlOf(GetFocus());
}

// Repaint::Now paints the fill into the form at once, without a pass through the message loop.
void FormWindow::setFillWidth(int pixels, window::Repaint repaint) {
    const HWND fill = (*controls_)[ControlId::Pic];
    const bool changed = pixels != fill_->width();
    fill_->setWidth(pixels);
    if (repaint == window::Repaint::Now) {
        RECT area{};
        GetClientRect(fill, &area);
        const HDC context = GetDC(fill);
        fill_->paint(context, area);
        ReleaseDC(fill, context);
    } else if (changed) {
        InvalidateRect(fill, nullptr, FALSE);
    }
}

window::MessageAnswer FormWindow::showMessage(const window::MessageBoxRequest& request) {
    return showMessageBox(IsWindow(form_) ? form_ : nullptr, request);
}

void FormWindow::processEvents() {
    processPendingMessages(form_);
}

void FormWindow::setFillValue(int percent) {
    fillAccessibility_->setPercent(percent);
}

// Windows' notifications come through postDevicesChanged(); no backend here gives a descriptor.
void FormWindow::watchDescriptor(int) {}

void FormWindow::postDevicesChanged() {
    PostMessageW(form_, DevicesChangedMessage, 0, 0);
}

}  // namespace fwu::win32
