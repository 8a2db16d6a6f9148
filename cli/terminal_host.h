#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "cli/interrupt.h"
#include "cli/progress_display.h"
#include "firmware/operation_host.h"

namespace fwu::cli {

// Runs an operation in a terminal: the progress on a view, messages on a stream (standard
// error, or the lines of one device), and Ctrl-C as the cancel request. The window's controls
// have no counterpart here.
class TerminalHost : public firmware::OperationHost {
  public:
    TerminalHost(std::ostream& messages, ProgressView& progress, const InterruptCatcher& interrupts,
                 bool quiet);

    // What the progress display names and counts for the operation about to run.
    void setProgressSubject(std::string label, std::uint64_t totalBytes);

    // Messages the operation has shown so far, in order.
    const std::vector<std::string>& errorsShown() const { return errorsShown_; }
    bool unloaded() const { return unloaded_; }
    // The bytes of the progress subject done by the last progress step.
    std::uint64_t bytesDone() const { return bytesDone_; }
    // The notices shown since the last call.
    std::vector<std::string> takeNotices() { return std::exchange(notices_, {}); }

    void showProgress() override;
    void advanceProgress(std::int64_t done, std::int64_t total) override;
    void clearProgress() override;
    void processEvents() override {}

    void disableUpdateButton() override {}
    void clearProductAndVersion() override {}
    void showUpgradeBusy() override;
    void setStatusText(const std::string&) override {}

    void unload() override { unloaded_ = true; }
    void showError(const std::string& message) override;
    // Shown even with --quiet: the person has to act on it.
    void showNotice(const std::string& message) override;

    bool cancelRequested() override { return interrupts_.interrupted(); }
    void busyChanged(bool) override {}

  private:
    std::ostream& messages_;
    ProgressView& progress_;
    const InterruptCatcher& interrupts_;
    bool quiet_;
    std::string progressLabel_;
    std::uint64_t progressBytes_ = 0;
    std::uint64_t bytesDone_ = 0;
    std::vector<std::string> errorsShown_;
    std::vector<std::string> notices_;
    bool unloaded_ = false;
};

}  // namespace fwu::cli
