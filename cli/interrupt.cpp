#include "cli/interrupt.h"

#include <array>
#include <atomic>
#include <csignal>

namespace fwu::cli {

namespace {

// A lock-free atomic is safe to set in a signal handler and to read from the workers.
std::atomic<bool> interruptRaised{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void onInterrupt(int signal) {
    interruptRaised.store(true);
#ifdef _WIN32
    std::signal(signal, SIG_DFL);  // the next Ctrl-C ends the program
#else
    (void)signal;
#endif
}

}  // namespace

#ifdef _WIN32

struct InterruptCatcher::EarlierHandling {
    void (*interrupt)(int) = SIG_DFL;
};

InterruptCatcher::InterruptCatcher() : earlier_(std::make_unique<EarlierHandling>()) {
    interruptRaised.store(false);
    earlier_->interrupt = std::signal(SIGINT, onInterrupt);
}

InterruptCatcher::~InterruptCatcher() {
    std::signal(SIGINT, earlier_->interrupt == SIG_ERR ? SIG_DFL : earlier_->interrupt);
}

#else

namespace {

struct Handling {
    int signal;
    void (*handler)(int);
    unsigned flags;
};

// SA_RESETHAND: the next Ctrl-C meets the default handling, which ends the program. SA_RESTART:
// a system call that the signal meets carries on, as it did under std::signal.
constexpr std::size_t HandledCount = 5;
const std::array<Handling, HandledCount> Handled = {{
    {SIGINT, onInterrupt, SA_RESETHAND | SA_RESTART},
    {SIGTERM, onInterrupt, SA_RESTART},
    {SIGHUP, onInterrupt, SA_RESTART},
    {SIGPIPE, SIG_IGN, 0},
    {SIGXFSZ, SIG_IGN, 0},
}};

}  // namespace

struct InterruptCatcher::EarlierHandling {
    std::array<struct sigaction, HandledCount> actions{};
};

InterruptCatcher::InterruptCatcher() : earlier_(std::make_unique<EarlierHandling>()) {
    interruptRaised.store(false);
    for (std::size_t index = 0; index < HandledCount; ++index) {
        struct sigaction action {};
        action.sa_handler = Handled[index].handler;
        action.sa_flags = static_cast<int>(Handled[index].flags);
        sigemptyset(&action.sa_mask);
        sigaction(Handled[index].signal, &action, &earlier_->actions[index]);
    }
}

InterruptCatcher::~InterruptCatcher() {
    for (std::size_t index = 0; index < HandledCount; ++index)
        sigaction(Handled[index].signal, &earlier_->actions[index], nullptr);
}

#endif

bool InterruptCatcher::interrupted() const {
    return interruptRaised.load();
}

}  // namespace fwu::cli
