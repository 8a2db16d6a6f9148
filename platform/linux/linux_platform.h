#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/hid_platform.h"
#include "platform/linux/hidraw_io.h"
#include "platform/linux/sysfs_reader.h"
#include "platform/linux/uevent_monitor.h"

namespace fwu::platform::linux_hid {

// Where the backend looks for sysfs, the device nodes and the process file system; a fake tree
// in tests.
struct LinuxRoots {
    std::filesystem::path sys = "/sys";
    std::filesystem::path dev = "/dev";
    std::filesystem::path proc = "/proc";
};

// The HID platform on Linux: hidraw nodes found through sysfs, feature reports through the
// hidraw ioctls, arrivals and removals from the kernel's uevents. Its handle table is locked
// only to look a handle up, never across a system call, so threads using different devices
// do not wait for each other.
class LinuxPlatform final : public HidPlatform {
  public:
    LinuxPlatform();  // the running system
    LinuxPlatform(LinuxRoots roots, std::unique_ptr<HidrawIo> io);
    ~LinuxPlatform() override;
    LinuxPlatform(const LinuxPlatform&) = delete;
    LinuxPlatform& operator=(const LinuxPlatform&) = delete;

    // Every hidraw node, in ascending number, as "<dev>/hidrawN"; its arrival is the name of
    // its HID device.
    std::vector<InterfaceEntry> enumerateInterfaces() override;

    OpenResult open(const std::string& path, OpenMode mode) override;
    bool close(Handle handle) override;
    // A flock(2) lock on the handle's own open of the node: another open, in this program or
    // another, is refused it. The holder is read from /proc/locks and /proc/PID.
    ClaimResult claim(Handle handle) override;
    std::optional<DeviceHolder> holderOf(const std::string& path) override;

    // IDs from the driver; the release number from the USB device above, otherwise 0.
    std::optional<Attributes> attributes(Handle handle) override;
    // The longest feature report of the report descriptor, report-ID byte included.
    std::optional<Capabilities> capabilities(Handle handle) override;
    // From the USB device above, otherwise the product from HID_NAME and the serial number
    // from HID_UNIQ; without a USB device there is no manufacturer.
    bool identityString(Handle handle, IdentityString which,
                        std::span<std::uint8_t> buffer) override;

    // Fails unless the kernel took the whole report.
    bool setFeature(Handle handle, std::span<const std::uint8_t> report) override;
    // Positions past the bytes delivered are set to zero.
    std::optional<std::size_t> getFeature(Handle handle, std::span<std::uint8_t> report) override;

    // From the uevent of the node in sysfs, without opening it.
    std::optional<Attributes> attributesWithoutOpening(const std::string& path) override;

    void sleep(std::chrono::milliseconds duration) override;
    std::chrono::milliseconds monotonicTime() override;
    // Listens to the kernel's uevents from the first call on (which returns true at once);
    // polls where the netlink socket cannot be made.
    bool waitForInterfaceChange(std::chrono::milliseconds timeout) override;
    // A netlink socket of its own, with udev's messages too; nothing where it cannot be made.
    std::unique_ptr<InterfaceWatch> watchInterfaces(InterfaceWakeFunction wake) override;

    int openHandleCount() const;

  private:
    struct OpenNode {
        int fd = -1;
        std::string nodeName;
    };

    std::optional<OpenNode> find(Handle handle) const;
    std::uint16_t releaseNumber(const std::string& nodeName) const;
    std::optional<std::string> identityText(const std::string& nodeName,
                                            IdentityString which) const;

    LinuxRoots roots_;
    std::unique_ptr<HidrawIo> io_;
    SysfsReader sysfs_;
    // Handles are numbered from 1 and never reused, so a stale handle can never reach a
    // descriptor that the system has since given to another open.
    mutable std::mutex handlesMutex_;  // guards the two members below
    std::map<std::intptr_t, OpenNode> handles_;
    std::intptr_t nextHandle_ = 1;
    // Only the thread that waits for arrivals takes this lock, for as long as it waits.
    std::mutex monitorMutex_;  // guards the two members below
    bool monitorTried_ = false;
    HidrawMonitor monitor_;
};

}  // namespace fwu::platform::linux_hid
