#include "cli/terminal_host.h"

namespace fwu::cli {

TerminalHost::TerminalHost(std::ostream& err, ProgressDisplay& progress,
                           const InterruptCatcher& interrupts, bool quiet)
    : err_(err), progress_(progress), interrupts_(interrupts), quiet_(quiet) {}

void TerminalHost::setProgressSubject(std::string label, std::uint64_t totalBytes) {
    progressLabel_ = std::move(label);
    progressBytes_ = totalBytes;
}

void TerminalHost::showProgress() {
    if (!quiet_)
        progress_.start(progressLabel_, progressBytes_);
}

void TerminalHost::advanceProgress(std::int64_t done, std::int64_t total) {
    if (!quiet_)
        progress_.advance(done, total);
}

void TerminalHost::clearProgress() {
    progress_.finish();
}

void TerminalHost::showUpgradeBusy() {
    if (!quiet_)
        err_ << "Waiting for the device to restart in bootloader mode...\n" << std::flush;
}

void TerminalHost::showError(const std::string& message) {
    progress_.finish();
    err_ << message << '\n' << std::flush;
    errorsShown_.push_back(message);
}

}  // namespace fwu::cli
