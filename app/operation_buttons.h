#pragma once

#include <map>
#include <vector>

class QPushButton;

namespace fwu::app {

// The buttons that start operations. While an operation runs they are all disabled, so that no
// click can start a second one; what the operation does to a button meanwhile takes effect when
// it ends.
class OperationButtons {
  public:
    explicit OperationButtons(std::vector<QPushButton*> buttons);

    void lock();
    void unlock();
    bool locked() const { return locked_; }

    // At once when unlocked; when the running operation ends otherwise.
    void setEnabled(QPushButton& button, bool enabled);

  private:
    std::vector<QPushButton*> buttons_;
    bool locked_ = false;
    std::map<QPushButton*, bool> enabledAfterUnlock_;
};

}  // namespace fwu::app
