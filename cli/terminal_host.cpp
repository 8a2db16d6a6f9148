#include "cli/terminal_host.h"

namespace fwu::cli {

TerminalHost::TerminalHost(std::ostream& messages, ProgressView& progress,
                           const InterruptCatcher& interrupts, bool quiet)
    : messages_(messages), progress_(progress), interrupts_(interrupts), quiet_(quiet) {}

void TerminalHost::setProgressSubject(std::string label, std::uint64_t totalBytes) {
    progressLabel_ = std::move(label);
    progressBytes_ = totalBytes;
    bytesDone_ = 0;
}

void TerminalHost::showProgress() {
    if (!quiet_)
        progress_.start(progressLabel_, progressBytes_);
}

void TerminalHost::advanceProgress(std::int64_t done, std::int64_t total) {
    bytesDone_ = progressFigures(done, total, progressBytes_, {}).bytesDone;
    if (!quiet_)
        progress_.advance(done, total);
}

void TerminalHost::clearProgress() {
    progress_.finish();
}

void TerminalHost::showUpgradeBusy() {
    if (!quiet_)
        progress_.note("Waiting for the device to restart in bootloader mode...");
}

void TerminalHost::showError(const std::string& message) {
    progress_.finish();
    messages_ << message << '\n' << std::flush;
    errorsShown_.push_back(message);
}

void TerminalHost::showNotice(const std::string& message) {
    messages_ << message << '\n' << std::flush;
    notices_.push_back(message);
}

}  // namespace fwu::cli
