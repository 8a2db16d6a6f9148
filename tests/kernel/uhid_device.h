#pragma once

#include <fcntl.h>
#include <linux/input.h>
#include <linux/uhid.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "simulator/simulated_device.h"
#include "tests/platform_linux/hid_descriptors.h"

namespace fwu::kerneltest {

using simulator::SetOutcome;
using simulator::SimulatedDevice;

// A simulated device put on the kernel's HID bus through /dev/uhid and served by a thread of
// its own: the kernel's feature requests reach the SimulatedDevice, which answers them as it
// does on the simulated bus. Only whole feature reports reach it; a request from the device's
// `faults.failTransfersFrom` on fails with EIO. After the enter-bootloader command the device
// leaves the bus and, after its re-enumeration delay, comes back in its bootloader as a new
// node. Each instance is a device of its own. A paced device waits before each answer, so that
// a program writing to it is still at work while another one tries it.
class UhidDevice {
  public:
    UhidDevice(const simulator::DeviceConfig& config, SimulatedDevice::Kind kind, std::string name,
               std::string uniq)
        : device_(config, kind), name_(std::move(name)), uniq_(std::move(uniq)) {}
    ~UhidDevice() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            ::close(fd_);  // removes the device
    }
    UhidDevice(const UhidDevice&) = delete;
    UhidDevice& operator=(const UhidDevice&) = delete;

    bool start(std::string& error) {
        fd_ = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
        if (fd_ < 0 || !create()) {
            error = std::string("cannot make a uhid device: ") + std::strerror(errno);
            return false;
        }
        thread_ = std::thread([this] { serve(); });
        return true;
    }

    // The device leaves the bus, or comes back to it, as a cable pulled and put back would.
    void unplug() {
        uhid_event destroy{};
        destroy.type = UHID_DESTROY;
        send(destroy);
    }
    bool plugIn() { return create(); }

    // Calls `hook` with the index of each request as the device takes it, before it answers.
    void onRequest(std::function<void(std::uint64_t)> hook) {
        std::lock_guard lock(mutex_);
        onRequest_ = std::move(hook);
    }
    // The wait before each answer; zero answers at once. Far below the kernel's five seconds for
    // an answer.
    void pace(std::chrono::milliseconds wait) { pace_ = wait; }

    // Runs `use` on the device under the lock its thread serves it with.
    template <typename Use>
    auto with(Use use) {
        std::lock_guard lock(mutex_);
        return use(device_);
    }

  private:
    // The device as it is now: its IDs follow its mode, its report descriptor its kind.
    bool create() {
        uhid_event event{};
        event.type = UHID_CREATE2;
        auto& create = event.u.create2;
        std::memcpy(create.name, name_.data(), std::min(name_.size(), sizeof create.name - 1));
        std::memcpy(create.uniq, uniq_.data(), std::min(uniq_.size(), sizeof create.uniq - 1));
        const auto& descriptor = device_.isForeign()
                                     ? platform::linux_hid::testing::KeyboardDescriptor
                                     : platform::linux_hid::testing::FamilyDescriptor;
        create.rd_size = static_cast<std::uint16_t>(descriptor.size());
        std::copy(descriptor.begin(), descriptor.end(), create.rd_data);
        const auto ids = with([](SimulatedDevice& device) { return device.attributes(); });
        create.bus = BUS_USB;
        create.vendor = ids.vendorId;
        create.product = ids.productId;
        create.version = ids.versionNumber;
        return send(event);
    }

    void serve() {
        // Signals are for the program under test: the device's thread takes none.
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        for (pollfd ready{fd_, POLLIN, 0}; !stop_;) {
            uhid_event event{};
            if (::poll(&ready, 1, 50) <= 0)
                continue;
            if (::read(fd_, &event, sizeof event) <= 0)
                return;
            if (event.type == UHID_SET_REPORT || event.type == UHID_GET_REPORT) {
                std::this_thread::sleep_for(pace_.load());
                answer(event);
            }
        }
    }

    void answer(const uhid_event& request) {
        const bool set = request.type == UHID_SET_REPORT;
        const auto& sent = request.u.set_report;
        uhid_event reply{};
        auto& got = reply.u.get_report_reply;  // the set reply shares its id and err
        SetOutcome outcome = SetOutcome::Refused;
        std::optional<std::size_t> delivered;
        {
            std::lock_guard lock(mutex_);
            const std::uint64_t index = device_.takeRequestIndex();
            if (onRequest_)
                onRequest_(index);
            const auto failFrom = device_.config().faults.failTransfersFrom;
            const auto type = set ? sent.rtype : request.u.get_report.rtype;
            const bool admitted = !(failFrom && index >= *failFrom) && type == UHID_FEATURE_REPORT;
            if (admitted && !set)
                delivered = device_.answerGetFeature(got.data);
            if (admitted && set && sent.size == device_.config().featureReportLength)
                outcome = device_.receiveSetFeature({sent.data, sent.size});
        }
        reply.type = set ? UHID_SET_REPORT_REPLY : UHID_GET_REPORT_REPLY;
        got.id = set ? sent.id : request.u.get_report.id;
        got.err = (set ? outcome != SetOutcome::Refused : delivered.has_value()) ? 0 : EIO;
        got.size = static_cast<std::uint16_t>(delivered.value_or(0));
        send(reply);
        if (outcome == SetOutcome::EnterBootloader)
            reenumerate();
    }

    // Leaves the bus and comes back in the bootloader, as the firmware's restart does.
    void reenumerate() {
        unplug();
        const auto delay = with([](SimulatedDevice& d) { return d.config().reenumerationDelay; });
        if (!delay)
            return;
        std::this_thread::sleep_for(*delay);
        with([](SimulatedDevice& device) { device.restartInBootloader(); });
        create();
    }

    bool send(const uhid_event& event) {
        return ::write(fd_, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
    }

    SimulatedDevice device_;
    std::string name_;
    std::string uniq_;
    int fd_ = -1;
    std::atomic<bool> stop_ = false;
    std::atomic<std::chrono::milliseconds> pace_{};
    std::thread thread_;
    std::mutex mutex_;
    std::function<void(std::uint64_t)> onRequest_;
};

}  // namespace fwu::kerneltest
