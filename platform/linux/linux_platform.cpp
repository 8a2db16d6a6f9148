#include "platform/linux/linux_platform.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/linux/lock_holder.h"
#include "platform/linux/report_descriptor.h"
#include "platform/linux/utf16_text.h"

namespace fwu::platform::linux_hid {
namespace {

OpenError openErrorFor(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return OpenError::PermissionDenied;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return OpenError::NotPresent;
        default:
            return OpenError::Other;
    }
}

std::string nodeNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

}  // namespace

LinuxPlatform::LinuxPlatform() : LinuxPlatform(LinuxRoots{}, std::make_unique<SystemHidrawIo>()) {}

LinuxPlatform::LinuxPlatform(LinuxRoots roots, std::unique_ptr<HidrawIo> io)
    : roots_(std::move(roots)), io_(std::move(io)), sysfs_(roots_.sys) {}

LinuxPlatform::~LinuxPlatform() {
    for (const auto& [handle, node] : handles_)
        io_->close(node.fd);
}

std::vector<InterfaceEntry> LinuxPlatform::enumerateInterfaces() {
    std::vector<InterfaceEntry> interfaces;
    for (const std::string& name : sysfs_.hidrawNodeNames()) {
        interfaces.push_back(
            InterfaceEntry{(roots_.dev / name).string(), sysfs_.hidDeviceName(name).value_or("")});
    }
    return interfaces;
}

OpenResult LinuxPlatform::open(const std::string& path, OpenMode mode) {
    // Both modes are plain descriptors: the overlapped handle of other platforms is only a
    // second, independent handle here.
    (void)mode;
    const IoResult<int> opened = io_->open(path);
    if (!opened.value)
        return OpenResult{std::nullopt, openErrorFor(opened.error)};
    const std::lock_guard lock(handlesMutex_);
    const Handle handle{nextHandle_++};
    handles_.emplace(static_cast<std::intptr_t>(handle), OpenNode{*opened.value, nodeNameOf(path)});
    return OpenResult{handle, OpenError::None};
}

bool LinuxPlatform::close(Handle handle) {
    int fd = -1;
    {
        const std::lock_guard lock(handlesMutex_);
        const auto found = handles_.find(static_cast<std::intptr_t>(handle));
        if (found == handles_.end())
            return false;
        fd = found->second.fd;
        handles_.erase(found);
    }
    io_->close(fd);
    return true;
}

ClaimResult LinuxPlatform::claim(Handle handle) {
    const auto node = find(handle);
    if (!node)
        return {};
    if (io_->lockExclusive(node->fd) == 0)
        return {true, {}};
    return {false, holderOf((roots_.dev / node->nodeName).string()).value_or(DeviceHolder{})};
}

std::optional<DeviceHolder> LinuxPlatform::holderOf(const std::string& path) {
    return flockHolder(roots_.proc, path);
}

int LinuxPlatform::openHandleCount() const {
    const std::lock_guard lock(handlesMutex_);
    return static_cast<int>(handles_.size());
}

std::optional<LinuxPlatform::OpenNode> LinuxPlatform::find(Handle handle) const {
    const std::lock_guard lock(handlesMutex_);
    const auto found = handles_.find(static_cast<std::intptr_t>(handle));
    if (found == handles_.end())
        return std::nullopt;
    return found->second;
}

std::uint16_t LinuxPlatform::releaseNumber(const std::string& nodeName) const {
    const auto usb = sysfs_.usbParent(nodeName);
    return usb && usb->releaseNumber ? *usb->releaseNumber : 0;
}

std::optional<Attributes> LinuxPlatform::attributes(Handle handle) {
    const auto node = find(handle);
    if (!node)
        return std::nullopt;
    const IoResult<RawInfo> info = io_->rawInfo(node->fd);
    if (!info.value)
        return std::nullopt;
    return Attributes{info.value->vendorId, info.value->productId, releaseNumber(node->nodeName)};
}

std::optional<Capabilities> LinuxPlatform::capabilities(Handle handle) {
    const auto node = find(handle);
    if (!node)
        return std::nullopt;
    const auto descriptor = io_->reportDescriptor(node->fd);
    if (!descriptor.value)
        return std::nullopt;
    const DescriptorParse parse = parseReportDescriptor(*descriptor.value);
    if (!parse.lengths)
        return std::nullopt;
    return Capabilities{parse.lengths->feature};
}

std::optional<std::string> LinuxPlatform::identityText(const std::string& nodeName,
                                                       IdentityString which) const {
    if (const auto usb = sysfs_.usbParent(nodeName)) {
        switch (which) {
            case IdentityString::Manufacturer:
                return usb->manufacturer;
            case IdentityString::Product:
                return usb->product;
            case IdentityString::SerialNumber:
                return usb->serialNumber;
        }
        return std::nullopt;
    }
    const auto uevent = sysfs_.hidUevent(nodeName);
    if (!uevent)
        return std::nullopt;
    switch (which) {
        case IdentityString::Manufacturer:
            return std::nullopt;
        case IdentityString::Product:
            return uevent->name;
        case IdentityString::SerialNumber:
            return uevent->uniq;
    }
    return std::nullopt;
}

bool LinuxPlatform::identityString(Handle handle, IdentityString which,
                                   std::span<std::uint8_t> buffer) {
    const auto node = find(handle);
    if (!node)
        return false;
    const auto text = identityText(node->nodeName, which);
    // An empty attribute is how sysfs shows a string the device does not have.
    if (!text || text->empty())
        return false;
    writeUtf16Le(utf8ToUtf16(*text), buffer);
    return true;
}

bool LinuxPlatform::setFeature(Handle handle, std::span<const std::uint8_t> report) {
    const auto node = find(handle);
    if (!node || report.empty())
        return false;
    const IoResult<std::size_t> sent = io_->setFeature(node->fd, report);
    return sent.value && *sent.value >= report.size();
}

std::optional<std::size_t> LinuxPlatform::getFeature(Handle handle,
                                                     std::span<std::uint8_t> report) {
    const auto node = find(handle);
    if (!node || report.empty())
        return std::nullopt;
    const IoResult<std::size_t> received = io_->getFeature(node->fd, report);
    if (!received.value || *received.value > report.size())
        return std::nullopt;
    std::fill(report.begin() + static_cast<std::ptrdiff_t>(*received.value), report.end(), 0);
    return *received.value;
}

std::optional<Attributes> LinuxPlatform::attributesWithoutOpening(const std::string& path) {
    const std::string nodeName = nodeNameOf(path);
    const auto uevent = sysfs_.hidUevent(nodeName);
    if (!uevent || !uevent->id)
        return std::nullopt;
    return Attributes{uevent->id->vendorId, uevent->id->productId, releaseNumber(nodeName)};
}

void LinuxPlatform::sleep(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

bool LinuxPlatform::waitForInterfaceChange(std::chrono::milliseconds timeout) {
    std::unique_lock lock(monitorMutex_);
    if (!monitorTried_) {
        monitorTried_ = true;
        if (monitor_.open())
            return true;  // listening from now on: what came before, the caller looks for
    }
    if (monitor_.isOpen())
        return monitor_.waitForChange(timeout);
    lock.unlock();
    return HidPlatform::waitForInterfaceChange(timeout);
}

namespace {

// The netlink socket is the descriptor an event loop watches; the wake function is not needed.
class UeventWatch final : public InterfaceWatch {
  public:
    bool open() { return monitor_.open(); }
    std::optional<int> readableDescriptor() const override { return monitor_.descriptor(); }
    bool takeChanges() override { return monitor_.takeChanges(); }

  private:
    HidrawMonitor monitor_{UeventSenders::KernelAndUdev};
};

}  // namespace

std::unique_ptr<InterfaceWatch> LinuxPlatform::watchInterfaces(InterfaceWakeFunction) {
    auto watch = std::make_unique<UeventWatch>();
    if (!watch->open())
        return nullptr;
    return watch;
}

std::chrono::milliseconds LinuxPlatform::monotonicTime() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

}  // namespace fwu::platform::linux_hid
