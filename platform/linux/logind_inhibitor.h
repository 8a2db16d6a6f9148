#pragma once

#include "platform/sleep_inhibitor.h"

namespace fwu::platform::linux_hid {

// An inhibitor lock of logind's, in block mode, taken over the system bus with sd-bus: logind
// keeps the system from sleeping (suspend, hibernation), from its idle action and, where it lets
// the caller, from its lid switch action, until the descriptor it handed out is closed. Each
// request uses a bus connection of its own, so workers may ask at once.
class LogindInhibitor final : public SleepInhibitor {
  public:
    SleepRequest keepAwake(const std::string& who, const std::string& why) override;
};

}  // namespace fwu::platform::linux_hid
