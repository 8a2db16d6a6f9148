#include "tests/platform_linux/fake_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace fwu::platform::linux_hid::testing {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFF);
    return text;
}

}  // namespace

FakeSysfs::FakeSysfs() {
    std::string pattern = (fs::temp_directory_path() / "fwu-sysfs-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    root_ = pattern;
    fs::create_directories(root_ / "sys" / "class" / "hidraw");
    fs::create_directories(root_ / "dev");
}

FakeSysfs::~FakeSysfs() {
    std::error_code error;
    fs::remove_all(root_, error);
}

std::string FakeSysfs::devicePath(unsigned number) const {
    return (root_ / "dev" / ("hidraw" + std::to_string(number))).string();
}

void FakeSysfs::addNode(unsigned number, const fs::path& hidDevice, const std::string& uevent) {
    const std::string name = "hidraw" + std::to_string(number);
    writeFile(hidDevice / "uevent", uevent);
    const fs::path node = hidDevice / "hidraw" / name;
    fs::create_directories(node);
    fs::create_directory_symlink("../..", node / "device");
    fs::create_directory_symlink(node, root_ / "sys" / "class" / "hidraw" / name);
    writeFile(root_ / "dev" / name, "");
}

void FakeSysfs::addUsbNode(unsigned number, const FakeUsbDevice& usb, const std::string& uevent) {
    const std::string port = "1-" + std::to_string(number + 1);
    const fs::path usbDevice = root_ / "sys" / "devices" / "pci0000:00" / "usb1" / port;
    writeFile(usbDevice / "idVendor", usb.idVendor + "\n");
    writeFile(usbDevice / "idProduct", usb.idProduct + "\n");
    writeFile(usbDevice / "bcdDevice", usb.bcdDevice + "\n");
    if (usb.manufacturer)
        writeFile(usbDevice / "manufacturer", *usb.manufacturer + "\n");
    if (usb.product)
        writeFile(usbDevice / "product", *usb.product + "\n");
    if (usb.serial)
        writeFile(usbDevice / "serial", *usb.serial + "\n");
    const fs::path usbInterface = usbDevice / (port + ":1.0");
    writeFile(usbInterface / "bInterfaceNumber", "00\n");
    addNode(number, usbInterface / ("0003:" + usb.idVendor + ":" + usb.idProduct + ".0001"),
            uevent);
}

void FakeSysfs::addVirtualNode(unsigned number, const std::string& uevent) {
    const fs::path uhid = root_ / "sys" / "devices" / "virtual" / "misc" / "uhid";
    addNode(number, uhid / ("0003:0000:0000.000" + std::to_string(number)), uevent);
}

std::string hidUevent(std::uint16_t vendorId, std::uint16_t productId, const std::string& name,
                      const std::string& uniq) {
    return "DRIVER=hid-generic\nHID_ID=0003:0000" + hex4(vendorId) + ":0000" + hex4(productId) +
           "\nHID_NAME=" + name + "\nHID_PHYS=\nHID_UNIQ=" + uniq + "\nMODALIAS=hid:b0003\n";
}

IoResult<int> FakeHidrawIo::open(const std::string& path) {
    const auto found = state_.nodes.find(path);
    if (found == state_.nodes.end())
        return IoResult<int>{std::nullopt, ENOENT};
    if (found->second.openError != 0)
        return IoResult<int>{std::nullopt, found->second.openError};
    const int fd = state_.nextFd++;
    state_.openFds[fd] = path;
    return IoResult<int>{fd, 0};
}

void FakeHidrawIo::close(int fd) {
    if (state_.openFds.erase(fd) == 0)
        throw std::logic_error("close of a descriptor not open");
}

FakeNode* FakeHidrawIo::nodeOf(int fd) {
    const auto open = state_.openFds.find(fd);
    if (open == state_.openFds.end())
        return nullptr;
    return &state_.nodes.at(open->second);
}

IoResult<RawInfo> FakeHidrawIo::rawInfo(int fd) {
    const FakeNode* node = nodeOf(fd);
    if (!node)
        return IoResult<RawInfo>{std::nullopt, EBADF};
    return IoResult<RawInfo>{node->info, 0};
}

IoResult<std::vector<std::uint8_t>> FakeHidrawIo::reportDescriptor(int fd) {
    const FakeNode* node = nodeOf(fd);
    if (!node)
        return IoResult<std::vector<std::uint8_t>>{std::nullopt, EBADF};
    return IoResult<std::vector<std::uint8_t>>{node->descriptor, 0};
}

IoResult<std::size_t> FakeHidrawIo::setFeature(int fd, std::span<const std::uint8_t> report) {
    const FakeNode* node = nodeOf(fd);
    if (!node)
        return IoResult<std::size_t>{std::nullopt, EBADF};
    if (node->transferError != 0)
        return IoResult<std::size_t>{std::nullopt, node->transferError};
    state_.sentReports.emplace_back(report.begin(), report.end());
    return IoResult<std::size_t>{report.size(), 0};
}

IoResult<std::size_t> FakeHidrawIo::getFeature(int fd, std::span<std::uint8_t> report) {
    const FakeNode* node = nodeOf(fd);
    if (!node)
        return IoResult<std::size_t>{std::nullopt, EBADF};
    if (node->transferError != 0)
        return IoResult<std::size_t>{std::nullopt, node->transferError};
    // As the kernel does: the answer verbatim, at most the caller's length.
    const std::size_t count = std::min(report.size(), node->featureAnswer.size());
    std::copy_n(node->featureAnswer.begin(), count, report.begin());
    return IoResult<std::size_t>{count, 0};
}

}  // namespace fwu::platform::linux_hid::testing
