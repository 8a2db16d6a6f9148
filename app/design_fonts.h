#pragma once

#include <QFont>

#include "window/form_design.h"

namespace fwu::app {

// The font a design names: its family first, then the families to fall back on where it is not
// installed, at its fractional point size.
QFont designFont(const window::FontDesign& design);

}  // namespace fwu::app
