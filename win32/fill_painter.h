#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace fwu::win32 {

// The progress fill Pic as the form paints it. Pic is an owner-drawn control that keeps the
// place of the design's full fill, inside the trough: it is painted in ProgressFillColour from
// its left edge to the fill's width, and in the trough's own colour beyond, so that it looks
// exactly like a fill of that width in front of the trough. A wider fill is then one paint of
// the control, without resizing a window: under Wine a child window's resize costs some 200 µs,
// ten times its paint, and an update widens the fill hundreds of times.
class FillPainter {
  public:
    explicit FillPainter(int pixels);
    ~FillPainter();
    FillPainter(const FillPainter&) = delete;
    FillPainter& operator=(const FillPainter&) = delete;

    int width() const { return pixels_; }
    void setWidth(int pixels) { pixels_ = pixels; }
    // Paints the control's whole client `area`.
    void paint(HDC context, const RECT& area) const;

  private:
    HBRUSH fillBrush_;
    int pixels_;
};

}  // namespace fwu::win32
