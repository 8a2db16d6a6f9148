#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/hid_platform.h"

namespace fwu::device {

// Which supported device a link takes. Each part that is set must match; with neither set, the
// link takes the first supported device.
struct DeviceChoice {
    std::optional<std::string> path;
    std::optional<std::string> serialNumber;  // as the device directory shows it
    std::optional<std::string> arrival{};     // as the platform tells it

    friend bool operator==(const DeviceChoice&, const DeviceChoice&) = default;
};

// A supported device that a search passed over because another program holds it.
struct DeviceInUse {
    std::string path;
    platform::Attributes attributes;
    platform::DeviceHolder holder;
};

// The connection to one supported device: the device search, the capabilities read and the
// two feature-report transfers. It owns both handles and closes them when destroyed; while it
// has the device open it holds it against every other program of ours.
class DeviceLink {
  public:
    explicit DeviceLink(platform::HidPlatform& platform);
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // Searches the HID interfaces in enumeration order for the first supported device that
    // matches the choice and that no other program holds, opens it, claims it (before anything
    // is sent), reads its capabilities and opens the second, overlapped handle, which does not
    // claim. Every interface before the match is opened, queried and closed, except those
    // whose path differs from a chosen path, which are never opened; later ones are never
    // opened. Handles of an earlier connection are not closed here: a caller that searches
    // again closes first.
    bool findTheHid();

    // Restricts later searches to the device chosen.
    void choose(DeviceChoice choice) { choice_ = std::move(choice); }
    const DeviceChoice& choice() const { return choice_; }
    // Before the device restarts (its path changes then): from now on the link looks for the
    // device by the serial number it has now, whatever its path. False, and the choice left as
    // it was, when no device is open or it has no serial number.
    bool followBySerialNumber();
    // From now on the link takes only the device open now: at its path, with its serial number
    // when it has one, and in this very arrival where the platform tells arrivals apart. False,
    // and the choice left as it was, when no device is open.
    bool keepToOpenDevice();

    // Closes the device handle, then the overlapped handle. A handle is marked closed, so a
    // second close, or a close of a handle never opened, does nothing.
    void closeConnection();

    bool deviceDetected() const { return deviceDetected_; }
    void setDeviceDetected(bool detected) { deviceDetected_ = detected; }
    bool isOpen() const { return deviceHandle_.has_value(); }

    const platform::Attributes& attributes() const { return attributes_; }
    void clearProductId() { attributes_.productId = 0; }
    bool inBootloaderMode() const;
    std::uint16_t featureReportLength() const { return featureReportLength_; }
    const std::string& devicePath() const { return devicePath_; }
    // The arrival of the device the last search found (InterfaceEntry::arrival).
    const std::string& deviceArrival() const { return deviceArrival_; }
    // The last search found no device, but passed over a supported one that it was not
    // permitted to open.
    bool permissionDenied() const { return permissionDenied_; }
    // The first matching device the last search passed over because another program holds it.
    const std::optional<DeviceInUse>& inUse() const { return inUse_; }

    // Sends the first featureReportLength() bytes of `buffer` on the device handle. Fails
    // without sending when the buffer is shorter or no device is open.
    bool sendFeatureReport(std::span<const std::uint8_t> buffer);

    // Sets position 0 of `buffer` to the report ID and fetches featureReportLength() bytes into
    // it. Returns the number of bytes delivered; fails when the buffer is shorter, no device is
    // open or the transfer fails.
    std::optional<std::size_t> readFeatureReport(std::span<std::uint8_t> buffer);

    // The overlapped handle, for the identity strings.
    std::optional<platform::Handle> overlappedHandle() const { return overlappedHandle_; }

    platform::HidPlatform& platform() { return platform_; }

  private:
    bool examineInterface(const std::string& path);
    bool isChosen(platform::Handle handle);
    void readReportCapabilities();
    void closeHandle(std::optional<platform::Handle>& handle);

    platform::HidPlatform& platform_;
    DeviceChoice choice_;
    bool deviceDetected_ = false;
    std::optional<platform::Handle> deviceHandle_;
    std::optional<platform::Handle> overlappedHandle_;
    platform::Attributes attributes_;
    std::uint16_t featureReportLength_ = 0;
    std::string devicePath_;
    std::string deviceArrival_;
    bool permissionDenied_ = false;
    std::optional<DeviceInUse> inUse_;
};

}  // namespace fwu::device
