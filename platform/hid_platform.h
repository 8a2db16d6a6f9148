#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fwu::platform {

// An open device handle. The value is opaque: a file descriptor, a Windows HANDLE or a
// simulated handle number, depending on the backend that issued it.
enum class Handle : std::intptr_t {};

enum class OpenMode {
    Plain,       // synchronous reads and writes; carries every feature report
    Overlapped,  // a second, independent handle; used for the identity strings
};

enum class OpenError {
    None,
    PermissionDenied,  // the interface exists but this user may not open it
    NotPresent,        // the interface went away between enumeration and open
    Other,
};

struct OpenResult {
    std::optional<Handle> handle;
    OpenError error = OpenError::None;
};

struct Attributes {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;

    friend bool operator==(const Attributes&, const Attributes&) = default;
};

struct Capabilities {
    // Length of a feature report in bytes, the report-ID byte included.
    std::uint16_t featureReportByteLength = 0;
};

enum class IdentityString { Manufacturer, Product, SerialNumber };

// A program that holds a device (see HidPlatform::claim), as far as the system can tell.
struct DeviceHolder {
    std::string programName;  // empty when the system cannot tell
    std::optional<std::uint32_t> processId;

    friend bool operator==(const DeviceHolder&, const DeviceHolder&) = default;
};

struct ClaimResult {
    bool claimed = false;
    DeviceHolder holder;  // who holds the device instead, when it was not claimed
};

// One HID interface found by enumeration. An interface whose path could not be obtained has
// an empty path; the device search passes over it.
struct InterfaceEntry {
    std::string path;
    // What tells this arrival of the interface from every other: a device that leaves and
    // another (or the same again) that comes under the same path differ in it. Empty where the
    // platform cannot tell; then the path is all there is.
    std::string arrival{};
};

// How long the default HidPlatform::waitForInterfaceChange() sleeps at most: the polling
// period of a backend without notifications.
inline constexpr std::chrono::milliseconds InterfacePollPeriod{250};

// Interfaces arriving and leaving, as a program with an event loop learns of them without waiting
// on its loop's thread (see HidPlatform::watchInterfaces). Watching stops when it is destroyed.
class InterfaceWatch {
  public:
    virtual ~InterfaceWatch() = default;

    // A descriptor that becomes readable when a change may have come, for a loop that watches
    // descriptors; nothing where the backend calls the watch's wake function instead.
    virtual std::optional<int> readableDescriptor() const { return std::nullopt; }
    // Takes the notifications that have come, without blocking. True when an interface may have
    // arrived or left since the last call.
    virtual bool takeChanges() = 0;
};

// Tells an event loop that its InterfaceWatch has changes to take. It may be called on any
// thread, with the backend's locks held: it only posts an event to the loop and returns.
using InterfaceWakeFunction = std::function<void()>;

// The operating system's HID services, as the rest of the program sees them. Every call
// reports success or failure; nothing above this interface sees an operating-system type.
// Every backend may be used by several threads at once, each with devices of its own: they may
// enumerate, open and close concurrently. One handle is used by one thread at a time.
class HidPlatform {
  public:
    virtual ~HidPlatform() = default;

    // Every HID interface present, in the platform's enumeration order.
    virtual std::vector<InterfaceEntry> enumerateInterfaces() = 0;

    virtual OpenResult open(const std::string& path, OpenMode mode) = 0;
    virtual bool close(Handle handle) = 0;

    // Holds the device open on the plain `handle` against every program of ours on the
    // machine, this one's other handles of the device included, until the handle is closed (on
    // the thread that claimed it). The system lets go of it when the program ends, however it
    // ends. Sends nothing to the device. Refused while another holds it.
    virtual ClaimResult claim(Handle handle) = 0;
    // Who holds the device at `path`, without claiming it; nothing while no one does.
    virtual std::optional<DeviceHolder> holderOf(const std::string& path) = 0;

    virtual std::optional<Attributes> attributes(Handle handle) = 0;
    virtual std::optional<Capabilities> capabilities(Handle handle) = 0;

    // Writes the string as UTF-16LE code units into `buffer`, at most buffer.size() bytes,
    // with a terminating zero unit when it fits. Returns false when the query fails.
    virtual bool identityString(Handle handle, IdentityString which,
                                std::span<std::uint8_t> buffer) = 0;

    // Sends `report` (byte 0 is the report ID) as one set-feature request.
    virtual bool setFeature(Handle handle, std::span<const std::uint8_t> report) = 0;

    // Fetches one feature report into `report` (byte 0 holds the report ID on entry).
    // Returns the number of bytes the platform delivered, or nothing when the request failed.
    virtual std::optional<std::size_t> getFeature(Handle handle,
                                                  std::span<std::uint8_t> report) = 0;

    // The attributes of an interface that could not be opened, where the platform can tell
    // them without opening it (for the permission message). Nothing when it cannot.
    virtual std::optional<Attributes> attributesWithoutOpening(const std::string& path) {
        (void)path;
        return std::nullopt;
    }

    virtual void sleep(std::chrono::milliseconds duration) = 0;

    // A monotonic clock that advances with sleep(); used to bound waits.
    virtual std::chrono::milliseconds monotonicTime() = 0;

    // Blocks until an interface may have arrived or left, or `timeout` has passed. True when a
    // change was seen (or the backend cannot tell and the caller should look again), false
    // when the timeout passed quietly. Safe to call from one thread while others use devices.
    // A backend that listens for the system's notifications starts listening at the first call
    // and returns true at once, so that a change just before it is not missed. This default
    // cannot tell: it sleeps a short period within the timeout and returns true.
    virtual bool waitForInterfaceChange(std::chrono::milliseconds timeout) {
        sleep(std::clamp(timeout, std::chrono::milliseconds{0}, InterfacePollPeriod));
        return true;
    }

    // Starts watching for interfaces that arrive or leave, from the same notifications as
    // waitForInterfaceChange(), for a program whose thread runs an event loop: the watch's
    // descriptor becomes readable, or the backend calls `wake`, when a change may have come.
    // Nothing where the backend has no notifications; this default has none.
    virtual std::unique_ptr<InterfaceWatch> watchInterfaces(InterfaceWakeFunction wake) {
        (void)wake;
        return nullptr;
    }
};

// The backend of the operating system the program was built for.
std::unique_ptr<HidPlatform> makeSystemPlatform();

}  // namespace fwu::platform
