#include "cli/interrupt.h"

#include <csignal>

namespace fwu::cli {

namespace {

volatile std::sig_atomic_t interruptRaised = 0;

void onInterrupt(int signal) {
    interruptRaised = 1;
    std::signal(signal, SIG_DFL);
}

}  // namespace

InterruptCatcher::InterruptCatcher() {
    interruptRaised = 0;
    previous_ = std::signal(SIGINT, onInterrupt);
}

InterruptCatcher::~InterruptCatcher() {
    std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_);
}

bool InterruptCatcher::interrupted() const {
    return interruptRaised != 0;
}

}  // namespace fwu::cli
