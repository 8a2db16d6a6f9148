#include "win32/fill_painter.h"

#include <algorithm>

#include "window/form_design.h"

namespace fwu::win32 {

FillPainter::FillPainter(int pixels)
    : fillBrush_(
          CreateSolidBrush(RGB(window::ProgressFillColour.red, window::ProgressFillColour.green,
                               window::ProgressFillColour.blue))),
      pixels_(pixels) {}

FillPainter::~FillPainter() {
    DeleteObject(fillBrush_);
}

void FillPainter::paint(HDC context, const RECT& area) const {
    const LONG edge = std::clamp<LONG>(area.left + pixels_, area.left, area.right);
    const RECT filled{area.left, area.top, edge, area.bottom};
    const RECT beyond{edge, area.top, area.right, area.bottom};
    FillRect(context, &filled, fillBrush_);
    // The trough is a static control in the system's colour of dialog faces.
    FillRect(context, &beyond, GetSysColorBrush(COLOR_BTNFACE));
}

}  // namespace fwu::win32
