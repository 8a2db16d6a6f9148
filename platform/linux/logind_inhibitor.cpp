#include "platform/linux/logind_inhibitor.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

namespace fwu::platform::linux_hid {

namespace {

constexpr const char* Logind = "org.freedesktop.login1";
constexpr const char* ManagerPath = "/org/freedesktop/login1";
constexpr const char* Manager = "org.freedesktop.login1.Manager";
constexpr const char* BlockMode = "block";
// What the lock holds off, first with the lid switch, which logind grants only to some callers
// (an active local session), then without it.
constexpr const char* WhatWithLidSwitch = "sleep:idle:handle-lid-switch";
constexpr const char* WhatWithoutLidSwitch = "sleep:idle";
// logind answers at once; a bus that does not answer delays the write by no more than this.
constexpr std::uint64_t CallTimeoutMicroseconds = 5'000'000;

// The lock: the descriptor logind handed out, until it is closed.
class InhibitorLock final : public SleepBlock {
  public:
    explicit InhibitorLock(int descriptor) : descriptor_(descriptor) {}
    ~InhibitorLock() override { ::close(descriptor_); }
    InhibitorLock(const InhibitorLock&) = delete;
    InhibitorLock& operator=(const InhibitorLock&) = delete;

  private:
    int descriptor_;
};

struct BusClose {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};

class BusError {
  public:
    BusError() = default;
    ~BusError() { sd_bus_error_free(&error_); }
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;

    sd_bus_error* get() { return &error_; }

  private:
    sd_bus_error error_{};  // SD_BUS_ERROR_NULL, whose compound literal C++ does not have
};

// The bus answered that there is no logind, or no such call of it: a container, a chroot, a
// system without systemd. Or the bus went away.
bool nobodyToAsk(int result, const sd_bus_error& error) {
    return sd_bus_error_has_names(&error, SD_BUS_ERROR_SERVICE_UNKNOWN,
                                  SD_BUS_ERROR_NAME_HAS_NO_OWNER, SD_BUS_ERROR_UNKNOWN_OBJECT,
                                  SD_BUS_ERROR_UNKNOWN_INTERFACE, SD_BUS_ERROR_UNKNOWN_METHOD) ||
           result == -ECONNREFUSED || result == -ECONNRESET || result == -ENOTCONN ||
           result == -EPIPE || result == -ENOENT;
}

// logind refused the caller (polkit), who may be granted less, such as no lid switch.
bool callerRefused(const sd_bus_error& error) {
    return sd_bus_error_has_names(&error, SD_BUS_ERROR_ACCESS_DENIED,
                                  SD_BUS_ERROR_INTERACTIVE_AUTHORIZATION_REQUIRED);
}

std::string reasonOf(int result, const sd_bus_error& error) {
    return "logind: " + (error.message != nullptr
                             ? std::string(error.message)
                             : std::error_code(-result, std::generic_category()).message());
}

// The descriptor of the lock in logind's answer, as one of this program's own.
std::optional<int> lockDescriptor(sd_bus_message* reply) {
    int received = -1;
    if (sd_bus_message_read(reply, "h", &received) < 0)
        return std::nullopt;
    const int own = ::fcntl(received, F_DUPFD_CLOEXEC, 3);
    return own < 0 ? std::nullopt : std::optional(own);
}

}  // namespace

SleepRequest LogindInhibitor::keepAwake(const std::string& who, const std::string& why) {
    sd_bus* opened = nullptr;
    if (sd_bus_open_system(&opened) < 0)
        return {};  // no system bus
    const std::unique_ptr<sd_bus, BusClose> bus(opened);
    sd_bus_set_method_call_timeout(bus.get(), CallTimeoutMicroseconds);
    std::string refusal;
    for (const char* what : {WhatWithLidSwitch, WhatWithoutLidSwitch}) {
        BusError error;
        sd_bus_message* answered = nullptr;
        const int result =
            sd_bus_call_method(bus.get(), Logind, ManagerPath, Manager, "Inhibit", error.get(),
                               &answered, "ssss", what, who.c_str(), why.c_str(), BlockMode);
        const std::unique_ptr<sd_bus_message, MessageUnref> reply(answered);
        if (result >= 0) {
            if (const auto descriptor = lockDescriptor(reply.get()))
                return {std::make_unique<InhibitorLock>(*descriptor), std::nullopt};
            return {nullptr, "logind's answer held no lock"};
        }
        if (nobodyToAsk(result, *error.get()))
            return {};
        refusal = reasonOf(result, *error.get());
        if (!callerRefused(*error.get()))
            break;
    }
    return {nullptr, refusal};
}

}  // namespace fwu::platform::linux_hid

namespace fwu::platform {

std::unique_ptr<SleepInhibitor> makeSystemSleepInhibitor() {
    return std::make_unique<linux_hid::LogindInhibitor>();
}

}  // namespace fwu::platform
