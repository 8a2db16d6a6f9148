#include "app/operation_buttons.h"

#include <QPushButton>
#include <utility>

namespace fwu::app {

OperationButtons::OperationButtons(std::vector<QPushButton*> buttons)
    : buttons_(std::move(buttons)) {}

void OperationButtons::lock() {
    if (locked_)
        return;
    locked_ = true;
    for (QPushButton* button : buttons_) {
        enabledAfterUnlock_[button] = button->isEnabled();
        button->setEnabled(false);
    }
}

void OperationButtons::unlock() {
    if (!locked_)
        return;
    locked_ = false;
    for (const auto& [button, enabled] : enabledAfterUnlock_)
        button->setEnabled(enabled);
    enabledAfterUnlock_.clear();
}

void OperationButtons::setEnabled(QPushButton& button, bool enabled) {
    if (locked_)
        enabledAfterUnlock_[&button] = enabled;
    else
        button.setEnabled(enabled);
}

}  // namespace fwu::app
