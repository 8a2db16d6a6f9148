#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "platform/hid_platform.h"

namespace fwu::platform {

enum class TraceDirection {
    HostToDevice,  // a set-feature request, written ">"
    DeviceToHost,  // a get-feature answer, written "<"
};

// One line of a report trace, without the line break: the direction, the length in decimal and
// the bytes in upper-case hex, e.g. "> 65 00 01 00 ...". A transfer that failed ends in
// " failed"; a failed get-feature request delivered nothing, so its line is "< 0 failed".
std::string traceLine(TraceDirection direction, std::span<const std::uint8_t> bytes,
                      bool succeeded);

// Forwards every call to another platform and writes every feature report, in both directions,
// to a trace stream, one line each (see traceLine). Each line is flushed as it is written, so a
// trace is complete up to the last report even when the program is stopped. Several threads may
// use it at once: their lines never mix.
class TracingPlatform : public HidPlatform {
  public:
    TracingPlatform(HidPlatform& inner, std::ostream& trace);

    std::vector<InterfaceEntry> enumerateInterfaces() override;
    OpenResult open(const std::string& path, OpenMode mode) override;
    bool close(Handle handle) override;
    ClaimResult claim(Handle handle) override;
    std::optional<DeviceHolder> holderOf(const std::string& path) override;
    std::optional<Attributes> attributes(Handle handle) override;
    std::optional<Capabilities> capabilities(Handle handle) override;
    bool identityString(Handle handle, IdentityString which,
                        std::span<std::uint8_t> buffer) override;
    bool setFeature(Handle handle, std::span<const std::uint8_t> report) override;
    std::optional<std::size_t> getFeature(Handle handle, std::span<std::uint8_t> report) override;
    std::optional<Attributes> attributesWithoutOpening(const std::string& path) override;
    void sleep(std::chrono::milliseconds duration) override;
    std::chrono::milliseconds monotonicTime() override;
    bool waitForInterfaceChange(std::chrono::milliseconds timeout) override;
    std::unique_ptr<InterfaceWatch> watchInterfaces(InterfaceWakeFunction wake) override;

  private:
    void writeLine(const std::string& line);

    HidPlatform& inner_;
    std::mutex traceMutex_;  // one line at a time
    std::ostream& trace_;
};

}  // namespace fwu::platform
