#pragma once

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/linux/hidraw_io.h"
#include "platform/linux/linux_platform.h"

namespace fwu::platform::linux_hid::testing {

// One hidraw node as the backend meets it: the uevent of its HID device, the attribute files
// of the USB device above it (none: a virtual device such as uhid's) and its driver's answers.
struct FakeNode {
    std::string uevent;
    std::map<std::string, std::string> usb;  // file name -> contents without the newline
    RawInfo info;
    std::vector<std::uint8_t> descriptor;
    int openError = 0;      // errno of a failing open
    int transferError = 0;  // errno of failing feature requests
    std::vector<std::uint8_t> featureAnswer{};
    std::optional<std::size_t> featureTaken{};  // the count a set-feature request returns
    bool outsideSys = false;  // the device's directories lie outside sysfs, linked from it
};

// Nodes by number, laid out in a temporary folder as the kernel lays out sysfs and /dev, and
// the hidraw calls answered from the same table.
struct FakeSystem {
    FakeSystem() {
        std::string pattern = std::filesystem::temp_directory_path() / "fwu-sysfs-XXXXXX";
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary folder");
        root = pattern;
        std::filesystem::create_directories(root / "sys/class/hidraw");
    }
    ~FakeSystem() {
        std::error_code error;
        std::filesystem::remove_all(root, error);
    }
    FakeSystem(const FakeSystem&) = delete;
    FakeSystem& operator=(const FakeSystem&) = delete;

    std::string devicePath(unsigned number) const {
        return root / "dev" / ("hidraw" + std::to_string(number));
    }
    LinuxRoots roots() const { return LinuxRoots{root / "sys", root / "dev", root / "proc"}; }

    // class/hidraw/hidrawN leads to the node below its HID device, whose `device` link leads
    // back up; the HID device is a child of a USB interface or of the virtual uhid device.
    void add(unsigned number, const FakeNode& node) {
        const std::string name = "hidraw" + std::to_string(number);
        const auto usbDevice = root / (node.outsideSys ? "elsewhere" : "sys/devices") / "usb1" /
                               ("1-" + std::to_string(number));
        const auto parent = node.usb.empty() ? root / "sys/devices/virtual/misc/uhid"
                                             : usbDevice / (usbDevice.filename() += ":1.0");
        const auto hidNode = parent / ("0003:" + std::to_string(number)) / "hidraw" / name;
        for (const auto& [file, text] : node.usb)
            write(usbDevice / file, text + "\n");
        std::filesystem::create_directories(hidNode);
        write(hidNode.parent_path().parent_path() / "uevent", node.uevent);
        std::filesystem::create_directory_symlink("../..", hidNode / "device");
        std::filesystem::create_directory_symlink(hidNode, root / "sys/class/hidraw" / name);
        write(root / "dev" / name, "");
        nodes[devicePath(number)] = node;
    }
    static void write(const std::filesystem::path& file, const std::string& text) {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }

    std::unique_ptr<HidrawIo> io();

    std::filesystem::path root;
    std::map<std::string, FakeNode> nodes;  // by device path
    std::map<int, std::string> openFds;
    std::map<std::string, int> locks;  // the descriptor holding each locked node
    std::vector<std::vector<std::uint8_t>> sentReports;
    int nextFd = 3;
};

// The hidraw driver over the table; the backend reaches it only through descriptors it opened.
class FakeHidrawIo final : public HidrawIo {
  public:
    explicit FakeHidrawIo(FakeSystem& system) : system_(system) {}

    IoResult<int> open(const std::string& path) override {
        const auto found = system_.nodes.find(path);
        const int error = found == system_.nodes.end() ? ENOENT : found->second.openError;
        if (error != 0)
            return {std::nullopt, error};
        system_.openFds[system_.nextFd] = path;
        return {system_.nextFd++, 0};
    }
    void close(int fd) override {
        if (system_.openFds.erase(fd) == 0)
            throw std::logic_error("close of a descriptor not open");
        std::erase_if(system_.locks, [fd](const auto& lock) { return lock.second == fd; });
    }
    // As flock(2): one open of a node holds it, another open is refused it.
    int lockExclusive(int fd) override {
        const auto [lock, taken] = system_.locks.emplace(system_.openFds.at(fd), fd);
        return taken || lock->second == fd ? 0 : EWOULDBLOCK;
    }
    IoResult<RawInfo> rawInfo(int fd) override { return {node(fd).info, 0}; }
    IoResult<std::vector<std::uint8_t>> reportDescriptor(int fd) override {
        return {node(fd).descriptor, 0};
    }
    IoResult<std::size_t> setFeature(int fd, std::span<const std::uint8_t> report) override {
        if (node(fd).transferError != 0)
            return {std::nullopt, node(fd).transferError};
        system_.sentReports.emplace_back(report.begin(), report.end());
        return {node(fd).featureTaken.value_or(report.size()), 0};
    }
    // As the kernel does: the answer verbatim, at most the caller's length.
    IoResult<std::size_t> getFeature(int fd, std::span<std::uint8_t> report) override {
        if (node(fd).transferError != 0)
            return {std::nullopt, node(fd).transferError};
        const std::size_t count = std::min(report.size(), node(fd).featureAnswer.size());
        std::copy_n(node(fd).featureAnswer.begin(), count, report.begin());
        return {count, 0};
    }

  private:
    const FakeNode& node(int fd) { return system_.nodes.at(system_.openFds.at(fd)); }

    FakeSystem& system_;
};

inline std::unique_ptr<HidrawIo> FakeSystem::io() {
    return std::make_unique<FakeHidrawIo>(*this);
}

}  // namespace fwu::platform::linux_hid::testing
