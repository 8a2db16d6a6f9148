#pragma once

#include <cstdint>
#include <string>

#include "firmware/operation_host.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace fwu::app {

class EventPacer;
class MessagePresenter;
class OperationButtons;
class ProgressBar;

// The controls of the window that operations change.
struct OperationControls {
    QPushButton& updateButton;   // Command3
    QPushButton& upgradeButton;  // Command4
    QLabel& product;             // lblProduct
    QLabel& version;             // lblVersion
    QLineEdit& status;           // Text1
};

// The window as the operations see it. The window brackets every run with beginRun() and
// endRun() and decides, after the run, what the requests made during it mean.
class WindowHost : public firmware::OperationHost {
  public:
    WindowHost(QWidget& window, OperationControls controls, ProgressBar& progressBar,
               OperationButtons& buttons, EventPacer& events, MessagePresenter& messages);

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
    bool cancelRequested() override { return cancelRequested_; }
    void busyChanged(bool busy) override;

  private:
    QWidget& window_;
    OperationControls controls_;
    ProgressBar& progressBar_;
    OperationButtons& buttons_;
    EventPacer& events_;
    MessagePresenter& messages_;
    bool cancelRequested_ = false;
    bool unloadRequested_ = false;
    bool progressShown_ = false;
};

}  // namespace fwu::app
