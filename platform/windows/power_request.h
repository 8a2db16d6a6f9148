#pragma once

#include "platform/sleep_inhibitor.h"
#include "platform/windows/windows_api.h"

namespace fwu::platform::windows {

// A power request that the system be required (PowerRequestSystemRequired) for as long as it is
// held, with the reason the system lists (powercfg /requests). Windows then does not sleep on its
// own, when the machine is idle; a person who chooses Sleep, or closes the lid where that means
// sleep, still puts it to sleep.
class PowerRequestInhibitor final : public SleepInhibitor {
  public:
    explicit PowerRequestInhibitor(WindowsApi& api) : api_(api) {}

    // The reason is `why`: Windows names the program itself.
    SleepRequest keepAwake(const std::string& who, const std::string& why) override;

  private:
    WindowsApi& api_;
};

}  // namespace fwu::platform::windows
