#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/hid_platform.h"
#include "simulator/simulated_bus.h"

namespace fwu::simulator {

// What a set-feature request did to the device.
enum class SetOutcome {
    Accepted,
    Refused,          // the device stalled the request: the transfer fails
    EnterBootloader,  // the device took the command and is about to leave the bus
};

// The device side of the protocol for one device of the family, or a foreign HID interface that
// answers nothing but its attributes. The bus decides whether a request reaches the device;
// this class decides what a request that reaches it does. `state().present` is the bus's
// business and is not kept here.
class SimulatedDevice {
  public:
    enum class Kind { Family, Foreign };

    SimulatedDevice(const DeviceConfig& config, Kind kind);

    bool isForeign() const { return kind_ == Kind::Foreign; }
    DeviceConfig& config() { return config_; }
    const DeviceConfig& config() const { return config_; }
    const DeviceState& state() const { return state_; }

    platform::Attributes attributes() const;
    platform::Capabilities capabilities() const;
    // The configured raw bytes of an identity string; nothing for a foreign device.
    const std::vector<std::uint8_t>* identityString(platform::IdentityString which) const;

    // Counts one more request and returns its index.
    std::uint64_t takeRequestIndex() { return state_.requests++; }

    SetOutcome receiveSetFeature(std::span<const std::uint8_t> report);
    // Writes the answer into `report` and returns how many bytes it delivered; nothing, and
    // `report` untouched, when the device refuses the request.
    std::optional<std::size_t> answerGetFeature(std::span<std::uint8_t> report);

    // The device starts again in its bootloader: no sequence open, positions at zero.
    void restartInBootloader();

  private:
    SetOutcome receiveApplicationCommand(std::span<const std::uint8_t> report);
    SetOutcome appendBootloaderRecord(std::span<const std::uint8_t> report);
    void start();
    void erase(std::span<const std::uint8_t> report);
    SetOutcome writeRecord(std::span<const std::uint8_t> report);
    void finish();
    std::uint8_t blockAnswerByte(std::size_t position) const;

    DeviceConfig config_;
    Kind kind_;
    DeviceState state_;
};

// The flash contents of a new device: `initial` padded with 0xFF, or without it a repeatable
// pattern in which every 32-byte block differs from the others.
std::vector<std::uint8_t> initialFlashContents(
    const std::optional<std::vector<std::uint8_t>>& initial);

// The byte a block-read answer carries at a position outside the flash data: never zero, so a
// host that takes it for data shows.
std::uint8_t blockFillerByte(std::size_t position);

}  // namespace fwu::simulator
