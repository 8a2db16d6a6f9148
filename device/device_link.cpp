#include "device/device_link.h"

#include "device/device_directory.h"
#include "device/protocol.h"

namespace fwu::device {

using platform::OpenError;
using platform::OpenMode;

DeviceLink::DeviceLink(platform::HidPlatform& platform) : platform_(platform) {}

DeviceLink::~DeviceLink() {
    closeConnection();
}

bool DeviceLink::findTheHid() {
    deviceDetected_ = false;
    permissionDenied_ = false;
    inUse_.reset();
    for (const auto& entry : platform_.enumerateInterfaces()) {
        if ((choice_.path && entry.path != *choice_.path) ||
            (choice_.arrival && entry.arrival != *choice_.arrival))
            continue;
        if (examineInterface(entry.path)) {
            deviceDetected_ = true;
            deviceArrival_ = entry.arrival;
            break;
        }
    }
    if (!deviceDetected_)
        return false;

    readReportCapabilities();
    overlappedHandle_ = platform_.open(devicePath_, OpenMode::Overlapped).handle;
    return true;
}

// Opens one interface and keeps it open when it is a supported device that this program could
// claim; closes it otherwise.
bool DeviceLink::examineInterface(const std::string& path) {
    if (path.empty())
        return false;  // no usable path: passed over
    devicePath_ = path;
    const auto opened = platform_.open(path, OpenMode::Plain);
    if (!opened.handle) {
        if (opened.error == OpenError::PermissionDenied) {
            const auto ids = platform_.attributesWithoutOpening(path);
            if (ids && protocol::isSupportedDevice(ids->vendorId, ids->productId)) {
                permissionDenied_ = true;
            }
        }
        return false;
    }
    deviceHandle_ = opened.handle;
    // A failed query leaves the attributes of the last interface that answered; it never
    // counts as a match.
    const auto queried = platform_.attributes(*deviceHandle_);
    if (queried)
        attributes_ = *queried;
    const bool supported =
        queried && protocol::isSupportedDevice(attributes_.vendorId, attributes_.productId) &&
        isChosen(*deviceHandle_);
    if (!supported) {
        closeHandle(deviceHandle_);
        return false;
    }
    const platform::ClaimResult claim = platform_.claim(*deviceHandle_);
    if (!claim.claimed) {
        if (!inUse_)
            inUse_ = DeviceInUse{path, attributes_, claim.holder};
        closeHandle(deviceHandle_);
    }
    return claim.claimed;
}

bool DeviceLink::isChosen(platform::Handle handle) {
    return !choice_.serialNumber ||
           identityText(platform_, handle, platform::IdentityString::SerialNumber) ==
               *choice_.serialNumber;
}

bool DeviceLink::followBySerialNumber() {
    if (!deviceHandle_)
        return false;
    std::string serialNumber =
        identityText(platform_, *deviceHandle_, platform::IdentityString::SerialNumber);
    if (serialNumber.empty())
        return false;
    choice_ = DeviceChoice{std::nullopt, std::move(serialNumber)};
    return true;
}

bool DeviceLink::keepToOpenDevice() {
    if (!deviceHandle_)
        return false;
    const auto given = [](std::string text) {
        return text.empty() ? std::nullopt : std::optional(std::move(text));
    };
    choice_ = DeviceChoice{
        devicePath_,
        given(identityText(platform_, *deviceHandle_, platform::IdentityString::SerialNumber)),
        given(deviceArrival_)};
    return true;
}

// A device whose capabilities cannot be read gets no report length, so every operation
// refuses it instead of using the length of an earlier connection.
void DeviceLink::readReportCapabilities() {
    const auto caps = platform_.capabilities(*deviceHandle_);
    featureReportLength_ = caps ? caps->featureReportByteLength : 0;
}

void DeviceLink::closeConnection() {
    closeHandle(deviceHandle_);
    closeHandle(overlappedHandle_);
}

void DeviceLink::closeHandle(std::optional<platform::Handle>& handle) {
    if (!handle)
        return;
    platform_.close(*handle);
    handle.reset();
}

bool DeviceLink::inBootloaderMode() const {
    return attributes_.productId == protocol::BootloaderProductId;
}

bool DeviceLink::sendFeatureReport(std::span<const std::uint8_t> buffer) {
    if (!deviceHandle_ || featureReportLength_ == 0 || buffer.size() < featureReportLength_) {
        return false;
    }
    return platform_.setFeature(*deviceHandle_, buffer.first(featureReportLength_));
}

std::optional<std::size_t> DeviceLink::readFeatureReport(std::span<std::uint8_t> buffer) {
    if (!deviceHandle_ || featureReportLength_ == 0 || buffer.size() < featureReportLength_) {
        return std::nullopt;
    }
    buffer[0] = protocol::ReportId;
    return platform_.getFeature(*deviceHandle_, buffer.first(featureReportLength_));
}

}  // namespace fwu::device
