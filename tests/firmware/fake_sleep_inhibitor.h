#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "platform/sleep_inhibitor.h"

namespace fwu::firmware::testing {

// What the system was asked: how many of the promises to stay awake it granted are held now.
// With `refusal` set, it refuses each request so.
struct SleepRecord {
    std::optional<std::string> refusal;
    std::atomic<int> held = 0;
};

// The system's inhibitor as a test plays it, into a record the test keeps.
class FakeSleepInhibitor final : public platform::SleepInhibitor {
  public:
    explicit FakeSleepInhibitor(SleepRecord& record) : record_(record) {}

    platform::SleepRequest keepAwake(const std::string&, const std::string&) override {
        if (record_.refusal)
            return {nullptr, record_.refusal};
        return {std::make_unique<Promise>(record_.held), std::nullopt};
    }

  private:
    struct Promise final : platform::SleepBlock {
        explicit Promise(std::atomic<int>& count) : held(count) { ++held; }
        ~Promise() override { --held; }
        std::atomic<int>& held;
    };

    SleepRecord& record_;
};

}  // namespace fwu::firmware::testing
