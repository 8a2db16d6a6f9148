#include "window/operation_buttons.h"

#include <array>

#include "window/form_controls.h"

namespace fwu::window {
namespace {

constexpr std::array OperationButtonIds{ControlId::Command1, ControlId::Command2,
                                        ControlId::Command3, ControlId::Command4,
                                        ControlId::Command5, ControlId::Command6};

}  // namespace

void OperationButtons::lock() {
    if (locked_)
        return;
    locked_ = true;
    for (const ControlId button : OperationButtonIds) {
        enabledAfterUnlock_[button] = controls_.enabled(button);
        controls_.setEnabled(button, false);
    }
}

void OperationButtons::unlock() {
    if (!locked_)
        return;
    locked_ = false;
    for (const auto& [button, enabled] : enabledAfterUnlock_)
        controls_.setEnabled(button, enabled);
    enabledAfterUnlock_.clear();
}

void OperationButtons::setEnabled(ControlId button, bool enabled) {
    if (locked_)
        enabledAfterUnlock_[button] = enabled;
    else
        controls_.setEnabled(button, enabled);
}

}  // namespace fwu::window
