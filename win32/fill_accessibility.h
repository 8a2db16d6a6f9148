#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

namespace fwu::win32 {

// What the fill is to assistive technology: a progress bar with a name and a value.
struct FillReading {
    std::wstring name;
    int percent = 0;
};

// Makes the owner-drawn fill Pic a progress bar to assistive technology: its window answers
// WM_GETOBJECT with an object of the progress-bar role, named as given, whose value is the
// percentage last set ("45%"). Its place, state and neighbours are those the system's own object
// for the window tells.
class FillAccessibility {
  public:
    FillAccessibility(HWND fill, std::wstring_view name);
    ~FillAccessibility();
    FillAccessibility(const FillAccessibility&) = delete;
    FillAccessibility& operator=(const FillAccessibility&) = delete;

    // Tells listening screen readers when it changes.
    void setPercent(int percent);

  private:
    static LRESULT CALLBACK answer(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR self);

    HWND fill_;
    // Shared with the objects handed out, which may outlive the window.
    std::shared_ptr<FillReading> reading_;
};

}  // namespace fwu::win32
