#include "cli/interrupt.h"

#include <atomic>
#include <csignal>

namespace fwu::cli {

namespace {

// A lock-free atomic is safe to set in a signal handler and to read from the workers.
std::atomic<bool> interruptRaised{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void onInterrupt(int signal) {
    interruptRaised.store(true);
    std::signal(signal, SIG_DFL);
}

}  // namespace

InterruptCatcher::InterruptCatcher() {
    interruptRaised.store(false);
    previous_ = std::signal(SIGINT, onInterrupt);
}

InterruptCatcher::~InterruptCatcher() {
    std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_);
}

bool InterruptCatcher::interrupted() const {
    return interruptRaised.load();
}

}  // namespace fwu::cli
