#pragma once

#include <array>

#include "window/form_design.h"

class QWidget;

namespace fwu::app {

using FormWidgets = std::array<QWidget*, window::ControlCount>;

// Builds the form's controls as children of `form`, in their design state, converted from
// twips at `scale`, and gives the form its design caption, font and fixed client size. Returns
// the controls indexed by ControlId.
FormWidgets buildForm(QWidget& form, const window::TwipsScale& scale);

}  // namespace fwu::app
