#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform/sleep_inhibitor.h"

namespace fwu::firmware {

class OperationHost;

// Keeps the system awake while firmware is written, through the system's inhibitor (none: the
// system is not asked). One per program, shared by its operations and workers: when the system
// refuses, the host of the operation that met the refusal first is told, once for the program.
class SleepGuard {
  public:
    explicit SleepGuard(std::unique_ptr<platform::SleepInhibitor> inhibitor)
        : inhibitor_(std::move(inhibitor)) {}

    // The system is asked not to sleep while firmware is written to `device`, until the returned
    // block is destroyed; nothing when it was not asked or refused.
    [[nodiscard]] std::unique_ptr<platform::SleepBlock> keepAwake(const std::string& device,
                                                                  OperationHost& host);

  private:
    std::unique_ptr<platform::SleepInhibitor> inhibitor_;
    std::atomic<bool> refusalTold_{false};
};

}  // namespace fwu::firmware
