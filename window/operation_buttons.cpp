#include "window/operation_buttons.h"

#include <array>

#include "window/form_controls.h"

namespace fwu::window {
namespace {

struct OperationButton {
    ControlId button;
    firmware::Operation operation;
};

// The verification has no button of its own.
constexpr std::array<OperationButton, 6> Buttons{{
    {ControlId::Command1, firmware::Operation::Dump},
    {ControlId::Command2, firmware::Operation::Download},
    {ControlId::Command3, firmware::Operation::Update},
    {ControlId::Command4, firmware::Operation::Upgrade},
    {ControlId::Command5, firmware::Operation::EraseChip},
    {ControlId::Command6, firmware::Operation::EnterBootloader},
}};

}  // namespace

std::optional<firmware::Operation> OperationButtons::operationOf(ControlId button) {
    for (const OperationButton& entry : Buttons) {
        if (entry.button == button)
            return entry.operation;
    }
    return std::nullopt;
}

void OperationButtons::lock() {
    if (locked_)
        return;
    locked_ = true;
    for (const OperationButton& entry : Buttons) {
        enabledAfterUnlock_[entry.button] = controls_.enabled(entry.button);
        controls_.setEnabled(entry.button, false);
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
