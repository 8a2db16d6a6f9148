#pragma once

#include <cstdint>
#include <string>

#include "firmware/operation_host.h"

namespace fwu::window {

class EventPacer;
class FormControls;
class OperationButtons;
class ProgressFill;
class WindowView;

// The window as the operations see it. The window brackets every run with beginRun() and
// endRun() and decides, after the run, what the requests made during it mean.
class WindowHost : public firmware::OperationHost {
  public:
    WindowHost(WindowView& view, FormControls& controls, OperationButtons& buttons,
               ProgressFill& fill, EventPacer& events);

    void beginRun();
    void endRun();

    // The window is being closed: the running operation stops at its next report or wait
    // cycle, and what it reports about stopping is not shown.
    void requestCancel() { cancelRequested_ = true; }
    // The operation ended the program.
    bool unloadRequested() const { return unloadRequested_; }
    // The operation began sending image records (it showed the progress bar).
    bool progressShown() const { return progressShown_; }

    // firmware::OperationHost
    void showProgress() override;
    void advanceProgress(std::int64_t done, std::int64_t total) override;
    void clearProgress() override;
    void processEvents() override;
    void disableUpdateButton() override;
    void clearProductAndVersion() override;
    void showUpgradeBusy() override;
    void setStatusText(const std::string& text) override;
    void unload() override;
    void showError(const std::string& message) override;
    // In the status text: a box would stop the write until it is answered.
    void showNotice(const std::string& message) override;
    bool cancelRequested() override { return cancelRequested_; }
    void busyChanged(bool busy) override;

  private:
    WindowView& view_;
    FormControls& controls_;
    OperationButtons& buttons_;
    ProgressFill& fill_;
    EventPacer& events_;
    bool cancelRequested_ = false;
    bool unloadRequested_ = false;
    bool progressShown_ = false;
};

}  // namespace fwu::window
