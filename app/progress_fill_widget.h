#pragma once

#include <QFrame>

namespace fwu::app {

// The progress fill Pic: a plain frame on screen, and a progress bar to assistive technology
// (its accessible name is the design's), whose value is the percentage last given.
class ProgressFillWidget : public QFrame {
  public:
    ProgressFillWidget();

    int percent() const { return percent_; }
    // Tells listening screen readers when the value changes; nothing is repainted.
    void setPercent(int percent);

  private:
    int percent_ = 0;
};

}  // namespace fwu::app
