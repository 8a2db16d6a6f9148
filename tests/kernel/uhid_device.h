#pragma once

#include <linux/uhid.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/kernel/protocol_device.h"

namespace fwu::kerneltest {

struct UhidIdentity {
    std::string name;
    std::string uniq;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// A HID device made through /dev/uhid that only exists: it answers no requests. It stands for
// a keyboard or any other device of another vendor.
class UhidForeignDevice {
  public:
    UhidForeignDevice() = default;
    ~UhidForeignDevice();
    UhidForeignDevice(const UhidForeignDevice&) = delete;
    UhidForeignDevice& operator=(const UhidForeignDevice&) = delete;

    bool create(const UhidIdentity& identity, std::string& error);

  private:
    int fd_ = -1;
};

// One request the device was asked for, in the order they came.
struct DeviceRequest {
    enum class Kind { SetFeature, GetFeature, Other };
    Kind kind = Kind::Other;
    std::vector<std::uint8_t> bytes;  // what the host sent, or what the device answered
    bool failed = false;              // answered with an error
};

// The device of the family through /dev/uhid, served by a thread of its own: the protocol
// in application mode and, after the bootloader-entry command, gone from the bus and back
// under the bootloader product ID after `reenumerationDelay`.
class UhidProtocolDevice {
  public:
    UhidProtocolDevice(UhidIdentity identity, std::chrono::milliseconds reenumerationDelay);
    ~UhidProtocolDevice();
    UhidProtocolDevice(const UhidProtocolDevice&) = delete;
    UhidProtocolDevice& operator=(const UhidProtocolDevice&) = delete;

    bool start(std::string& error);

    // Requests from this index on (counted from 0 over the device's life) fail with an error.
    void failRequestsFrom(std::optional<std::size_t> index);

    std::vector<DeviceRequest> requests() const;
    std::size_t requestCount() const;
    DeviceMode mode() const;
    int creations() const;
    // A copy of the device's state under its lock.
    ProtocolDevice model() const;

  private:
    bool createNode(std::uint16_t productId);
    void serve();
    void onSetReport(const uhid_set_report_req& request);
    void onGetReport(const uhid_get_report_req& request);
    void reenumerate();
    bool sendEvent(const uhid_event& event);

    UhidIdentity identity_;
    std::chrono::milliseconds reenumerationDelay_;
    int fd_ = -1;
    int stopFd_ = -1;
    std::thread thread_;
    mutable std::mutex mutex_;
    ProtocolDevice device_;
    std::vector<DeviceRequest> requests_;
    std::optional<std::size_t> failFrom_;
    int creations_ = 0;
};

}  // namespace fwu::kerneltest
