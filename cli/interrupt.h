#pragma once

#include <memory>

namespace fwu::cli {

// Catches the requests to stop while it exists: Ctrl-C (SIGINT), and on Linux SIGTERM (kill, a
// service manager stopping a station) and SIGHUP (the terminal closed). The first raises a flag,
// which every running operation reads at its next report and stops there, as it does after any
// cancel. A second Ctrl-C ends the program at once, for a call that does not return. A second
// TERM or HUP changes nothing: programs send those more than once (to the process and to its
// group, TERM and then HUP) and send SIGKILL when they mean at once. SIGPIPE and SIGXFSZ are
// ignored meanwhile, so that a write to a pipe whose reader has gone, or past the file size
// limit, fails with an error the writer reports instead of ending the program in the middle of
// an operation. The earlier handling of each is restored when it is destroyed. The flag may be
// read from any thread.
class InterruptCatcher {
  public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

    bool interrupted() const;

  private:
    struct EarlierHandling;
    std::unique_ptr<EarlierHandling> earlier_;
};

}  // namespace fwu::cli
