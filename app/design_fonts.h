#pragma once

class QWidget;

namespace fwu::app {

// frmmain.ui names each control's font family and weight; a .ui file holds whole point sizes
// only. This gives every control whose font the design sets the fractional point size of its
// family ("MS Sans Serif" 8.25 pt, "Arial" 9.75 pt) and families to fall back on where the
// design's family is not installed.
void applyDesignFonts(QWidget& form);

}  // namespace fwu::app
