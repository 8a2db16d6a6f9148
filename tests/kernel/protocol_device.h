#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "device/protocol.h"

namespace fwu::kerneltest {

enum class DeviceMode { Application, Bootloader };

// The device side of the protocol, as the device's firmware plays it: commands and records
// in feature reports (report ID 0 at byte 0), block reads of the flash after a start.
class ProtocolDevice {
  public:
    // The length of the feature report, report-ID byte included.
    static constexpr std::size_t FeatureReportLength = 65;

    ProtocolDevice();

    // What the device does with a set-feature request. Returns true when the device takes the
    // command to restart in its bootloader.
    bool onSetFeature(std::span<const std::uint8_t> report);
    // The answer to a get-feature request: FeatureReportLength bytes.
    std::vector<std::uint8_t> onGetFeature();
    void enterBootloader() { mode_ = DeviceMode::Bootloader; }

    DeviceMode mode() const { return mode_; }
    const std::vector<std::uint8_t>& flash() const { return flash_; }
    const std::vector<std::uint8_t>& bootloaderImage() const { return bootloaderImage_; }
    std::optional<std::int32_t> announcedRecordCount() const { return announcedRecordCount_; }
    std::uint32_t recordsReceived() const { return recordsReceived_; }
    bool finishedComplete() const { return finishedComplete_; }

    // The flash as the device leaves the factory: a pattern no transfer error reproduces.
    static std::uint8_t initialFlashByte(std::size_t address);

  private:
    void onCommand(std::span<const std::uint8_t> report);

    DeviceMode mode_ = DeviceMode::Application;
    std::vector<std::uint8_t> flash_;
    std::vector<std::uint8_t> bootloaderImage_;
    std::size_t writePosition_ = 0;
    std::size_t readPosition_ = 0;
    std::optional<std::int32_t> announcedRecordCount_;
    std::uint32_t recordsReceived_ = 0;
    bool finishedComplete_ = false;
};

}  // namespace fwu::kerneltest
