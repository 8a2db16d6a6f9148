#include "platform/tracing_platform.h"

#include <algorithm>
#include <utility>

namespace fwu::platform {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

char directionMark(TraceDirection direction) {
    return direction == TraceDirection::HostToDevice ? '>' : '<';
}

}  // namespace

std::string traceLine(TraceDirection direction, std::span<const std::uint8_t> bytes,
                      bool succeeded) {
    std::string line;
    line.reserve(8 + bytes.size() * 3 + 7);
    line += directionMark(direction);
    line += ' ';
    line += std::to_string(bytes.size());
    for (const std::uint8_t byte : bytes) {
        line += ' ';
        line += HexDigits[byte >> 4];
        line += HexDigits[byte & 0x0F];
    }
    if (!succeeded)
        line += " failed";
    return line;
}

TracingPlatform::TracingPlatform(HidPlatform& inner, std::ostream& trace)
    : inner_(inner), trace_(trace) {}

std::vector<InterfaceEntry> TracingPlatform::enumerateInterfaces() {
    return inner_.enumerateInterfaces();
}

OpenResult TracingPlatform::open(const std::string& path, OpenMode mode) {
    return inner_.open(path, mode);
}

bool TracingPlatform::close(Handle handle) {
    return inner_.close(handle);
}

ClaimResult TracingPlatform::claim(Handle handle) {
    return inner_.claim(handle);
}

std::optional<DeviceHolder> TracingPlatform::holderOf(const std::string& path) {
    return inner_.holderOf(path);
}

std::optional<Attributes> TracingPlatform::attributes(Handle handle) {
    return inner_.attributes(handle);
}

std::optional<Capabilities> TracingPlatform::capabilities(Handle handle) {
    return inner_.capabilities(handle);
}

bool TracingPlatform::identityString(Handle handle, IdentityString which,
                                     std::span<std::uint8_t> buffer) {
    return inner_.identityString(handle, which, buffer);
}

bool TracingPlatform::setFeature(Handle handle, std::span<const std::uint8_t> report) {
    const bool succeeded = inner_.setFeature(handle, report);
    writeLine(traceLine(TraceDirection::HostToDevice, report, succeeded));
    return succeeded;
}

std::optional<std::size_t> TracingPlatform::getFeature(Handle handle,
                                                       std::span<std::uint8_t> report) {
    const auto delivered = inner_.getFeature(handle, report);
    const std::size_t length = delivered ? std::min(*delivered, report.size()) : 0;
    writeLine(traceLine(TraceDirection::DeviceToHost, report.first(length), delivered.has_value()));
    return delivered;
}

std::optional<Attributes> TracingPlatform::attributesWithoutOpening(const std::string& path) {
    return inner_.attributesWithoutOpening(path);
}

void TracingPlatform::sleep(std::chrono::milliseconds duration) {
    inner_.sleep(duration);
}

std::chrono::milliseconds TracingPlatform::monotonicTime() {
    return inner_.monotonicTime();
}

bool TracingPlatform::waitForInterfaceChange(std::chrono::milliseconds timeout) {
    return inner_.waitForInterfaceChange(timeout);
}

std::unique_ptr<InterfaceWatch> TracingPlatform::watchInterfaces(InterfaceWakeFunction wake) {
    return inner_.watchInterfaces(std::move(wake));
}

void TracingPlatform::writeLine(const std::string& line) {
    const std::lock_guard lock(traceMutex_);
    trace_ << line << '\n';
    trace_.flush();
}

}  // namespace fwu::platform
