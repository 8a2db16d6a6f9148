#include "window/form_controls.h"

#include "window/window_view.h"

namespace fwu::window {

FormControls::FormControls(WindowView& view) : view_(view) {
    for (const ControlDesign& design : controlDesigns()) {
        enabled_[index(design.id)] = design.enabled;
        visible_[index(design.id)] = design.visible;
    }
}

void FormControls::setCaption(ControlId control, std::string_view text) {
    view_.setCaption(control, text);
}

void FormControls::setEnabled(ControlId control, bool enabled) {
    enabled_[index(control)] = enabled;
    view_.setEnabled(control, enabled);
}

void FormControls::setVisible(ControlId control, bool visible) {
    visible_[index(control)] = visible;
    view_.setVisible(control, visible);
}

void FormControls::setFocus(ControlId control) {
    view_.setFocus(control);
}

}  // namespace fwu::window
