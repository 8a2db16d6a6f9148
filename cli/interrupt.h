#pragma once

namespace fwu::cli {

// Catches Ctrl-C (SIGINT) while it exists. The first one only raises a flag, which every running
// operation reads at its next report and stops there; a second one ends the program at once,
// for a call that does not return. The earlier handling is restored when it is destroyed. The
// flag may be read from any thread.
class InterruptCatcher {
  public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

    bool interrupted() const;

  private:
    using Handler = void (*)(int);
    Handler previous_;
};

}  // namespace fwu::cli
