#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device/protocol.h"
#include "platform/hid_platform.h"

namespace fwu::simulator {

// A USB bus addresses at most this many devices; the simulated bus holds as many, of the family
// and foreign alike.
inline constexpr std::size_t MaxDevicesOnBus = 127;

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
// device has been asked for since it was added to the bus, from 0; the count goes on across a
// re-enumeration, so one plan covers an upgrade from its first report to its last.
struct FaultPlan {
    std::optional<std::uint64_t> failTransfersFrom;  // this request and every later one fail
    std::optional<std::uint64_t> unplugAtRequest;    // the device leaves the bus at this request
    std::optional<std::uint64_t> hangAtRequest;  // this request takes `hangDuration`, then fails
    std::chrono::milliseconds hangDuration{5000};
    bool failOpen = false;
    bool permissionDenied = false;  // the open fails for lack of permission
    // Another program holds the device: opens work, claims are refused naming this holder.
    std::optional<platform::DeviceHolder> heldByAnotherProgram;
    bool failAttributes = false;
    bool noInterfacePath = false;  // enumeration yields the interface without a usable path
    bool failIdentityStrings = false;
    std::optional<std::size_t> shortBlockReads;  // block reads deliver only this many bytes
    // The device obeys the enter-bootloader command but detaches before it answers, so the
    // transfer fails although the device re-enumerates.
    bool bootloaderEntryTransferFails = false;
};

enum class DeviceMode { Application, Bootloader };

// The UTF-16LE bytes of `text`, followed by a terminating zero unit.
std::vector<std::uint8_t> utf16Bytes(const std::u16string& text);

struct DeviceConfig {
    std::uint16_t vendorId = protocol::VendorId;
    std::uint16_t applicationProductId = protocol::ApplicationProductIds[0];
    DeviceMode mode = DeviceMode::Application;  // the mode it starts in; state() tells the current
    std::uint16_t versionNumber = 0x0105;
    std::uint16_t featureReportLength = 65;
    // Identity strings as the raw UTF-16LE bytes the device reports; a string can hold any
    // bytes, terminator or not.
    std::vector<std::uint8_t> manufacturer = utf16Bytes(u"Simulated Devices");
    std::vector<std::uint8_t> product = utf16Bytes(u"Firmware Update Test Device");
    std::vector<std::uint8_t> serialNumber = utf16Bytes(u"SIM-000001");
    std::chrono::microseconds latencyPerTransfer{0};
    // After the enter-bootloader command, the device is off the bus for this long, then back
    // under the bootloader product ID. Nothing means it never comes back.
    std::optional<std::chrono::milliseconds> reenumerationDelay = std::chrono::milliseconds(300);
    // When set, the flash starts with these contents (padded with 0xFF); otherwise with a
    // repeatable pattern.
    std::optional<std::vector<std::uint8_t>> initialFlash;
    FaultPlan faults;
    // When the device arrives on the bus, and when it leaves it for good whatever path it has
    // then, on the bus's clock (time since the bus was made). A device added at or after its
    // arrival time is there at once.
    std::chrono::milliseconds arrivesAt{0};
    std::optional<std::chrono::milliseconds> leavesAt;
    // The path it arrives under: one that a device no longer on the bus had, as a system gives
    // a freed node to the next device (it must be free by then). Nothing: a path of its own.
    std::optional<std::string> path{};
};

// What the device side observed; tests compare it with what the host meant to do.
struct DeviceState {
    DeviceMode mode = DeviceMode::Application;
    bool present = true;
    std::vector<std::uint8_t> flash;            // FlashSize bytes
    std::vector<std::uint8_t> bootloaderImage;  // records appended in bootloader mode
    std::size_t writePosition = 0;
    std::size_t readPosition = 0;
    bool started = false;  // a start command opened a sequence: block reads are answered
    std::optional<std::int32_t> announcedRecordCount;
    std::uint64_t recordsReceived = 0;
    bool finished = false;
    bool finishedComplete = false;  // the finish came after exactly the announced records
    std::uint64_t requests = 0;
    std::uint64_t eraseCount = 0;
    std::uint64_t enterBootloaderCount = 0;
};

class SimulatedDevice;
class BusClock;

// A virtual HID bus with devices that play the device side of the protocol. It is a complete
// platform backend: the demo, the command line and the tests run on it.
//
// A device that re-enumerates comes back under a new path; its earlier path stays known (not
// present) and names the same device in state(), config() and unplug(). A path given to a later
// device (DeviceConfig::path) names the device present under it, or else the last that had it.
// Each appearance of a device under a path is an arrival of its own (InterfaceEntry::arrival).
//
// Several threads may use the bus at once, as they may a system's backend. One lock guards the
// devices and the bus's records; it is never held while a transfer takes its latency or a sleep
// its time, so transfers to different devices overlap. On the virtual clock each thread has
// its own time (see BusClock): its transfers and sleeps advance only its time, and scheduled
// events (arrivals, departures, returns from a restart) take place when the furthest thread
// passes them. config(), transcript() and the transcript's observer are for tests and front
// ends set up before the threads start, or read after they end.
class SimulatedBus : public platform::HidPlatform {
  public:
    enum class Clock {
        Virtual,  // sleep() and latency only advance the bus's clock: tests run at full speed
        Real,     // sleep() and latency take real time as well: the demo and the benchmarks
    };

    explicit SimulatedBus(Clock clock = Clock::Virtual);
    ~SimulatedBus() override;
    SimulatedBus(const SimulatedBus&) = delete;
    SimulatedBus& operator=(const SimulatedBus&) = delete;

    // Adds a device of the family; returns its path, the one it has on arrival when that is
    // later (see DeviceConfig::arrivesAt). Throws std::length_error when the bus already holds
    // MaxDevicesOnBus devices.
    std::string addDevice(const DeviceConfig& config);
    // Adds a HID interface of another product (keyboard, mouse): it answers its attributes and
    // capabilities (no feature report unless its config says otherwise) and nothing else. It
    // counts towards MaxDevicesOnBus like any other.
    std::string addForeignDevice(std::uint16_t vendorId, std::uint16_t productId);

    // The state of the device that has (or had) `path`; `present` tells whether it is on the
    // bus under that path now. An unknown path gives a default state that is not present.
    DeviceState state(const std::string& path) const;
    // The live configuration of the device behind `path`: changes apply to later calls, and
    // are made while no other thread uses the device. Throws std::out_of_range for a path the
    // bus never gave out.
    DeviceConfig& config(const std::string& path);
    // The device behind `path` leaves the bus, whichever path it has now, and never returns;
    // a device that has not arrived yet never arrives.
    void unplug(const std::string& path);

    // Every report since the bus was made or the transcript cleared, while recording is on (it
    // is, unless turned off). Read while no other thread uses the bus.
    const std::vector<TranscriptEntry>& transcript() const { return transcript_; }
    void clearTranscript();
    // Off, the transcript stays as it is (the front ends' bus, long soaks, benchmarks: it would
    // hold every report of the run); the observer still sees every report.
    void setTranscriptRecording(bool enabled);
    // Called for every transcript entry as it is recorded (the trace file of the front ends),
    // with the bus locked: it sees one report at a time and must not call the bus.
    void setTranscriptObserver(std::function<void(const TranscriptEntry&)> observer);

    int openHandleCount() const;
    int openCount() const;  // successful opens since the bus was made

    // HidPlatform
    std::vector<platform::InterfaceEntry> enumerateInterfaces() override;
    platform::OpenResult open(const std::string& path, platform::OpenMode mode) override;
    bool close(platform::Handle handle) override;
    // One handle at a time holds a node, as a lock on the system's device node would; the
    // device's path after a restart is another node. A claim on a device held by another
    // program (FaultPlan::heldByAnotherProgram) is refused naming that program, a claim on one
    // held through another handle of the bus without a name.
    platform::ClaimResult claim(platform::Handle handle) override;
    std::optional<platform::DeviceHolder> holderOf(const std::string& path) override;
    std::optional<platform::Attributes> attributes(platform::Handle handle) override;
    std::optional<platform::Capabilities> capabilities(platform::Handle handle) override;
    bool identityString(platform::Handle handle, platform::IdentityString which,
                        std::span<std::uint8_t> buffer) override;
    bool setFeature(platform::Handle handle, std::span<const std::uint8_t> report) override;
    std::optional<std::size_t> getFeature(platform::Handle handle,
                                          std::span<std::uint8_t> report) override;
    std::optional<platform::Attributes> attributesWithoutOpening(const std::string& path) override;
    // A `sleep` on the virtual clock, as long as the next scheduled event or the timeout,
    // after the waiting thread has caught up with the furthest thread; on the real clock, a
    // wait that ends early when another thread adds or removes a device. True at once when
    // a device arrived or left since the last call, or since the bus was made.
    bool waitForInterfaceChange(std::chrono::milliseconds timeout) override;
    void sleep(std::chrono::milliseconds duration) override;
    // The calling thread's time on the virtual clock.
    std::chrono::milliseconds monotonicTime() override;
    // Calls `wake` at every arrival and departure, as it happens. On the virtual clock the
    // scheduled ones take place when the bus's time passes them; on the real clock a thread of
    // the bus's own, started with the first watch, makes them take place on time.
    std::unique_ptr<platform::InterfaceWatch> watchInterfaces(
        platform::InterfaceWakeFunction wake) override;

  private:
    class Watch;
    // One appearance of a device on the bus, under one path.
    struct Node {
        std::string path;
        SimulatedDevice* device = nullptr;
        bool present = true;
    };
    struct PendingEvent {
        enum class Kind { Arrival, Return, Departure };
        Kind kind = Kind::Arrival;
        SimulatedDevice* device = nullptr;
        std::chrono::microseconds due{0};
    };
    // What the bus decided about a transfer before the transfer takes its time.
    struct Admission {
        std::size_t node = 0;
        std::chrono::microseconds duration{0};
        bool reachesDevice = false;
    };

    // Every private member function is called with mutex_ held.
    SimulatedDevice& addToBus(std::unique_ptr<SimulatedDevice> device);
    std::string addNode(SimulatedDevice& device, bool present,
                        const std::optional<std::string>& path = std::nullopt);
    const Node* findNode(const std::string& path) const;
    std::optional<platform::DeviceHolder> holderOfNode(std::size_t node) const;
    // The node an open handle refers to, present or not; nothing for a handle not open.
    const Node* nodeFor(platform::Handle handle) const;
    // The device behind an open handle while its node is on the bus.
    SimulatedDevice* presentDeviceFor(platform::Handle handle) const;
    void schedule(PendingEvent::Kind kind, SimulatedDevice& device, std::chrono::microseconds due);
    void takeOffBus(const SimulatedDevice& device);
    void unplugDevice(const SimulatedDevice& device);
    void leaveForBootloader(SimulatedDevice& device);
    void applyDueEvents();
    void apply(const PendingEvent& event);
    std::optional<std::chrono::microseconds> nextEventDue() const;
    void noteChange();
    bool waitVirtually(std::chrono::milliseconds timeout);
    bool waitInRealTime(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds timeout);
    bool takeWatchChanges(std::uint64_t& seen);
    void endWatch(const Watch& watch);
    void applyEventsOnTime();
    std::optional<Admission> admit(platform::Handle handle);
    // Admits a transfer on `handle`, lets it take its time with the lock released, then runs
    // `deliver` on the device if the transfer reaches it; records the bytes that crossed the
    // bus, which `deliver` may change.
    template <typename Deliver>
    bool transfer(platform::Handle handle, Direction direction,
                  std::span<const std::uint8_t> crossed, Deliver deliver);
    bool deliverSetFeature(SimulatedDevice& device, std::span<const std::uint8_t> report);
    void record(Direction direction, const std::string& path, std::span<const std::uint8_t> bytes,
                bool succeeded);

    mutable std::mutex mutex_;         // guards every member below but the clock, which has its own
    std::condition_variable changed_;  // a device arrived or left
    std::unique_ptr<BusClock> clock_;
    std::vector<std::unique_ptr<SimulatedDevice>> devices_;
    std::vector<Node> nodes_;
    std::vector<PendingEvent> pendingEvents_;
    std::map<std::intptr_t, std::size_t> handles_;  // open handle -> index into nodes_
    std::map<std::size_t, std::intptr_t> claims_;   // index into nodes_ -> the handle holding it
    std::intptr_t nextHandle_ = 1;
    int opens_ = 0;
    std::uint64_t changes_ = 0;      // arrivals and departures since the bus was made
    std::uint64_t changesSeen_ = 0;  // as many as the last waitForInterfaceChange() reported
    bool recordTranscript_ = true;
    std::vector<TranscriptEntry> transcript_;
    std::function<void(const TranscriptEntry&)> observer_;
    std::map<const Watch*, platform::InterfaceWakeFunction> watches_;
    std::thread scheduler_;  // applies the scheduled events on the real clock
    bool stopping_ = false;
};

}  // namespace fwu::simulator
