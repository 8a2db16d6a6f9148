#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/hidraw_io.h"
#include "platform/linux/linux_platform.h"

namespace fwu::platform::linux_hid::testing {

// The USB device above a HID device; a missing string leaves its file out.
struct FakeUsbDevice {
    std::string idVendor;
    std::string idProduct;
    std::string bcdDevice;
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    std::optional<std::string> serial;
};

// A sysfs and /dev tree in a fresh temporary folder, laid out as the kernel does it:
// class/hidraw/hidrawN links to the node below its HID device, whose `device` link leads
// back up to the HID device, a child of a USB interface or of the virtual uhid device.
class FakeSysfs {
  public:
    FakeSysfs();
    ~FakeSysfs();
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    LinuxRoots roots() const { return LinuxRoots{root_ / "sys", root_ / "dev"}; }
    std::string devicePath(unsigned number) const;

    void addUsbNode(unsigned number, const FakeUsbDevice& usb, const std::string& uevent);
    void addVirtualNode(unsigned number, const std::string& uevent);

  private:
    void addNode(unsigned number, const std::filesystem::path& hidDevice,
                 const std::string& uevent);

    std::filesystem::path root_;
};

// The uevent text of a HID device as the kernel writes it.
std::string hidUevent(std::uint16_t vendorId, std::uint16_t productId, const std::string& name,
                      const std::string& uniq);

struct FakeNode {
    int openError = 0;  // errno of a failing open; 0 opens
    RawInfo info;
    std::vector<std::uint8_t> descriptor;
    std::vector<std::uint8_t> featureAnswer;  // what a get-feature request delivers
    int transferError = 0;                    // errno of failing feature requests
};

// The hidraw driver as tests need it: nodes by path, every feature report sent recorded.
class FakeHidrawIo final : public HidrawIo {
  public:
    struct State {
        std::map<std::string, FakeNode> nodes;
        std::map<int, std::string> openFds;
        std::vector<std::vector<std::uint8_t>> sentReports;
        int nextFd = 3;
    };

    explicit FakeHidrawIo(State& state) : state_(state) {}

    IoResult<int> open(const std::string& path) override;
    void close(int fd) override;
    IoResult<RawInfo> rawInfo(int fd) override;
    IoResult<std::vector<std::uint8_t>> reportDescriptor(int fd) override;
    IoResult<std::size_t> setFeature(int fd, std::span<const std::uint8_t> report) override;
    IoResult<std::size_t> getFeature(int fd, std::span<std::uint8_t> report) override;

  private:
    FakeNode* nodeOf(int fd);

    State& state_;
};

}  // namespace fwu::platform::linux_hid::testing
