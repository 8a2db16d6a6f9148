#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/protocol.h"
#include "platform/hid_platform.h"

namespace fwu::platform::simulated {

enum class Direction { HostToDevice, DeviceToHost };

// One feature report as it crossed the bus. For a set-feature request the bytes are those the
// host sent; for a get-feature request, those the device answered.
struct TranscriptEntry {
    Direction direction = Direction::HostToDevice;
    std::string devicePath;
    std::vector<std::uint8_t> bytes;
    bool succeeded = true;
};

// Faults a test can plant. Request indices count the feature transfers (set and get) that the
// device has been asked for since it was added to the bus, from 0.
struct FaultPlan {
    std::optional<std::uint64_t> failTransfersFrom;  // this request and every later one fail
    std::optional<std::uint64_t> unplugAtRequest;    // the device leaves the bus at this request
    std::optional<std::uint64_t> hangAtRequest;      // this request takes `hangDuration`, then fails
    std::chrono::milliseconds hangDuration{5000};
    bool failOpen = false;
    bool permissionDenied = false;  // the open fails for lack of permission
    bool failAttributes = false;
    bool noInterfacePath = false;   // enumeration yields the interface without a usable path
    bool failIdentityStrings = false;
    std::optional<std::size_t> shortBlockReads;  // block reads deliver only this many bytes
};

enum class DeviceMode { Application, Bootloader };

struct DeviceConfig {
    std::uint16_t vendorId = protocol::VendorId;
    std::uint16_t applicationProductId = protocol::ApplicationProductIds[0];
    DeviceMode mode = DeviceMode::Application;
    std::uint16_t versionNumber = 0x0105;
    std::uint16_t featureReportLength = 65;
    // Identity strings as the raw UTF-16LE bytes the device reports; a string can hold any
    // bytes, terminator or not.
    std::vector<std::uint8_t> manufacturer;
    std::vector<std::uint8_t> product;
    std::vector<std::uint8_t> serialNumber;
    std::chrono::microseconds latencyPerTransfer{0};
    // After the enter-bootloader command, the device is off the bus for this long, then back
    // under the bootloader product ID. Nothing means it never comes back.
    std::optional<std::chrono::milliseconds> reenumerationDelay = std::chrono::milliseconds(300);
    // When set, the flash starts with these contents (padded with 0xFF); otherwise with a
    // repeatable pattern.
    std::optional<std::vector<std::uint8_t>> initialFlash;
    FaultPlan faults;
};

// UTF-16LE bytes of an ASCII or UTF-8 text, with a terminating zero unit.
std::vector<std::uint8_t> utf16Bytes(const std::u16string& text);

// What the device side observed; tests compare it with what the host meant to do.
struct DeviceState {
    DeviceMode mode = DeviceMode::Application;
    bool present = true;
    std::vector<std::uint8_t> flash;             // FlashSize bytes
    std::vector<std::uint8_t> bootloaderImage;   // records appended in bootloader mode
    std::size_t writePosition = 0;
    std::size_t readPosition = 0;
    std::optional<std::int32_t> announcedRecordCount;
    std::uint64_t recordsReceived = 0;
    bool finished = false;
    bool finishedComplete = false;  // the finish came after exactly the announced records
    std::uint64_t requests = 0;
    std::uint64_t eraseCount = 0;
    std::uint64_t enterBootloaderCount = 0;
};

class SimulatedDevice;

// A virtual HID bus with devices that play the device side of the protocol. It is a complete
// platform backend: the demo, the command line and the tests run on it.
class SimulatedBus : public HidPlatform {
public:
    enum class Clock {
        Virtual,  // sleep() and latency only advance the bus's clock: tests run at full speed
        Real,     // sleep() and latency take real time as well: the demo and the benchmarks
    };

    explicit SimulatedBus(Clock clock = Clock::Virtual);
    ~SimulatedBus() override;

    // Adds a device of the family; returns its path.
    std::string addDevice(const DeviceConfig& config);
    // Adds a HID interface of another product (keyboard, mouse): it answers only attributes.
    std::string addForeignDevice(std::uint16_t vendorId, std::uint16_t productId);

    DeviceState state(const std::string& path) const;
    DeviceConfig& config(const std::string& path);
    void unplug(const std::string& path);

    const std::vector<TranscriptEntry>& transcript() const { return transcript_; }
    void clearTranscript() { transcript_.clear(); }
    // Called for every transcript entry as it is recorded (the trace file of the front ends).
    void setTranscriptObserver(std::function<void(const TranscriptEntry&)> observer);

    int openHandleCount() const;
    int openCount() const { return opens_; }  // successful opens since the bus was made

    // HidPlatform
    std::vector<InterfaceEntry> enumerateInterfaces() override;
    OpenResult open(const std::string& path, OpenMode mode) override;
    bool close(Handle handle) override;
    std::optional<Attributes> attributes(Handle handle) override;
    std::optional<Capabilities> capabilities(Handle handle) override;
    bool identityString(Handle handle, IdentityString which,
                        std::span<std::uint8_t> buffer) override;
    bool setFeature(Handle handle, std::span<const std::uint8_t> report) override;
    std::optional<std::size_t> getFeature(Handle handle, std::span<std::uint8_t> report) override;
    std::optional<Attributes> attributesWithoutOpening(const std::string& path) override;
    void sleep(std::chrono::milliseconds duration) override;
    std::chrono::milliseconds monotonicTime() override;

private:
    struct OpenHandle;
    SimulatedDevice* deviceFor(Handle handle);
    void advance(std::chrono::microseconds duration);
    void record(Direction direction, const std::string& path, std::span<const std::uint8_t> bytes,
                bool succeeded);

    Clock clock_;
    std::chrono::microseconds now_{0};
    std::vector<std::unique_ptr<SimulatedDevice>> devices_;
    std::map<std::intptr_t, std::string> handles_;  // open handle -> device path
    std::intptr_t nextHandle_ = 1;
    int opens_ = 0;
    std::vector<TranscriptEntry> transcript_;
    std::function<void(const TranscriptEntry&)> observer_;
};

}  // namespace fwu::platform::simulated
