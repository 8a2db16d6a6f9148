#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <array>
#include <memory>
#include <optional>

#include "win32/design_fonts.h"
#include "window/form_design.h"

namespace fwu::win32 {

// The command identifier of a control's window, the one its WM_COMMAND notifications carry.
int commandIdOf(window::ControlId control);

// The form's controls as child windows of the form, made from its design: a window class and
// styles for each kind of control, the design's captions and state, and their places and fonts
// at the display's DPI.
class ControlWindows {
  public:
    // Makes every control of the design on `form`, in tab order and in its design state.
    explicit ControlWindows(HWND form);
    ControlWindows(const ControlWindows&) = delete;
    ControlWindows& operator=(const ControlWindows&) = delete;

    // Sizes the form's client area and places every control for `dpi`, in the fonts at that DPI.
    void layOut(unsigned dpi);

    HWND operator[](window::ControlId control) const {
        return windows_[static_cast<std::size_t>(control)];
    }
    // The control that `window` is, if it is one of the design's.
    std::optional<window::ControlId> controlOf(HWND window) const;

  private:
    HWND form_;
    std::array<HWND, window::ControlCount> windows_{};
    std::unique_ptr<DesignFonts> fonts_;
};

}  // namespace fwu::win32
