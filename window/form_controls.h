#pragma once

#include <array>
#include <string_view>

#include "window/form_design.h"

namespace fwu::window {

class WindowView;

// The controls as the logic changes them: every change goes to the view, and the enabled and
// visible states are kept so that the logic can read them back without asking the toolkit.
class FormControls {
  public:
    // The controls start in their design state, as the view builds them.
    explicit FormControls(WindowView& view);

    void setCaption(ControlId control, std::string_view text);
    void setEnabled(ControlId control, bool enabled);
    void setVisible(ControlId control, bool visible);
    void setFocus(ControlId control);

    bool enabled(ControlId control) const { return enabled_[index(control)]; }
    bool visible(ControlId control) const { return visible_[index(control)]; }

  private:
    static std::size_t index(ControlId control) { return static_cast<std::size_t>(control); }

    WindowView& view_;
    std::array<bool, ControlCount> enabled_{};
    std::array<bool, ControlCount> visible_{};
};

}  // namespace fwu::window
