#pragma once

#include <map>
#include <optional>

#include "firmware/operations.h"
#include "window/form_design.h"

namespace fwu::window {

class FormControls;

// The buttons that start operations. While an operation runs they are all disabled, so that no
// click can start a second one; what the operation does to a button meanwhile takes effect when
// it ends.
class OperationButtons {
  public:
    explicit OperationButtons(FormControls& controls) : controls_(controls) {}

    // The operation the button starts; none for the other controls.
    static std::optional<firmware::Operation> operationOf(ControlId button);

    void lock();
    void unlock();

    // At once when unlocked; when the running operation ends otherwise.
    void setEnabled(ControlId button, bool enabled);

  private:
    FormControls& controls_;
    bool locked_ = false;
    std::map<ControlId, bool> enabledAfterUnlock_;
};

}  // namespace fwu::window
