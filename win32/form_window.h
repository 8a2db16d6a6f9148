#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <memory>
#include <optional>

#include "firmware/program_files.h"
#include "win32/control_windows.h"
#include "win32/fill_accessibility.h"
#include "win32/fill_painter.h"
#include "window/main_window.h"
#include "window/window_view.h"

namespace fwu::platform {
class HidPlatform;
}

namespace fwu::win32 {

// The window class of the form, named as the form is, so that another program finds it.
inline constexpr const wchar_t* FormClass = L"frmMain";

// The program's only window with the Win32 API alone: the form built from its design at the
// DPI of its display, drawn as the window's logic (window::MainWindow) tells it, with the
// person's clicks and close requests passed on to that logic.
class FormWindow : public window::WindowView {
  public:
    FormWindow(platform::HidPlatform& platform, firmware::ProgramFiles files,
               window::WindowSettings settings = {});
    ~FormWindow() override;
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    // The start-up (window::MainWindow::start); the first activation follows from the message
    // loop.
    void start();

    HWND handle() const { return form_; }
    HWND control(window::ControlId control) const { return (*controls_)[control]; }
    window::MainWindow& logic() { return *logic_; }

    // window::WindowView
    void showWindow() override;
    void closeWindow() override;
    void setCaption(window::ControlId control, std::string_view text) override;
    void setEnabled(window::ControlId control, bool enabled) override;
    void setVisible(window::ControlId control, bool visible) override;
    void setFocus(window::ControlId control) override;
    std::optional<window::ControlId> focusedControl() const override;
    void setFillWidth(int pixels, window::Repaint repaint) override;
    window::MessageAnswer showMessage(const window::MessageBoxRequest& request) override;
    void processEvents() override;
    void setFillValue(int percent) override;
    void watchDescriptor(int descriptor) override;
    void postDevicesChanged() override;

  private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void commandReceived(HWND control, WORD notification);
    void pressFocusedButton();
    void dpiChanged(unsigned dpi, const RECT& suggested);
    LRESULT staticControlColours(HDC context, HWND control);

    HWND form_ = nullptr;
    std::unique_ptr<ControlWindows> controls_;
    std::unique_ptr<FillPainter> fill_;
    std::unique_ptr<FillAccessibility> fillAccessibility_;
    std::unique_ptr<window::MainWindow> logic_;
    HWND lastFocus_ = nullptr;  // while the form is not the active window
};

}  // namespace fwu::win32
