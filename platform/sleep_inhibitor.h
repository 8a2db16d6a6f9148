#pragma once

#include <memory>
#include <optional>
#include <string>

namespace fwu::platform {

// The system's promise not to suspend, kept until this is destroyed.
class SleepBlock {
  public:
    virtual ~SleepBlock() = default;
};

// What a request to keep the system awake came to.
struct SleepRequest {
    std::unique_ptr<SleepBlock> block;  // nothing when the request is not held
    // Why the system refused, for the person. Nothing when it granted the request, and when there
    // was nobody to ask (no system bus or no logind: a container, a chroot).
    std::optional<std::string> refusal;
};

// Asks the operating system not to suspend, on its own or when told to (idle, the lid, the sleep
// key), while firmware is written. Several threads may ask at once.
class SleepInhibitor {
  public:
    virtual ~SleepInhibitor() = default;

    // `who` names the program and `why` the reason, as the system lists them to the person.
    virtual SleepRequest keepAwake(const std::string& who, const std::string& why) = 0;
};

// The operating system's: a logind inhibitor lock on Linux, a power request on Windows.
std::unique_ptr<SleepInhibitor> makeSystemSleepInhibitor();

}  // namespace fwu::platform
