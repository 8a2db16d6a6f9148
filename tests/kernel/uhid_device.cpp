#include "tests/kernel/uhid_device.h"

#include <fcntl.h>
#include <linux/input.h>
#include <linux/uhid.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace fwu::kerneltest {
namespace {

constexpr std::uint16_t ReleaseNumber = 0x0105;

// Vendor page, one unnumbered feature report of 64 bytes (65 with the report-ID byte).
constexpr std::uint8_t ProtocolDescriptor[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
                                               0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
                                               0x95, 0x40, 0x09, 0x01, 0xB1, 0x02, 0xC0};

// A boot keyboard: input and output reports, no feature report.
constexpr std::uint8_t KeyboardDescriptor[] = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
    0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0};

template <std::size_t N>
void copyText(std::uint8_t (&field)[N], const std::string& text) {
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

uhid_event createEvent(const UhidIdentity& identity, std::uint16_t productId,
                       std::span<const std::uint8_t> descriptor) {
    uhid_event event{};
    event.type = UHID_CREATE2;
    auto& create = event.u.create2;
    copyText(create.name, identity.name);
    copyText(create.uniq, identity.uniq);
    create.rd_size = static_cast<std::uint16_t>(descriptor.size());
    create.bus = BUS_USB;
    create.vendor = identity.vendorId;
    create.product = productId;
    create.version = ReleaseNumber;
    std::copy(descriptor.begin(), descriptor.end(), create.rd_data);
    return event;
}

bool writeEvent(int fd, const uhid_event& event) {
    ssize_t written;
    do {
        written = ::write(fd, &event, sizeof event);
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(sizeof event);
}

int openUhid(std::string& error) {
    const int fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        error = std::string("cannot open /dev/uhid: ") + std::strerror(errno);
    return fd;
}

}  // namespace

UhidForeignDevice::~UhidForeignDevice() {
    if (fd_ >= 0)
        ::close(fd_);  // closing /dev/uhid destroys the device
}

bool UhidForeignDevice::create(const UhidIdentity& identity, std::string& error) {
    fd_ = openUhid(error);
    if (fd_ < 0)
        return false;
    if (!writeEvent(fd_, createEvent(identity, identity.productId, KeyboardDescriptor))) {
        error = "cannot create the foreign device";
        return false;
    }
    return true;
}

UhidProtocolDevice::UhidProtocolDevice(UhidIdentity identity,
                                       std::chrono::milliseconds reenumerationDelay)
    : identity_(std::move(identity)), reenumerationDelay_(reenumerationDelay) {}

UhidProtocolDevice::~UhidProtocolDevice() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        if (::write(stopFd_, &one, sizeof one) == sizeof one)
            thread_.join();
        else
            thread_.detach();
    }
    if (fd_ >= 0)
        ::close(fd_);
    if (stopFd_ >= 0)
        ::close(stopFd_);
}

bool UhidProtocolDevice::start(std::string& error) {
    fd_ = openUhid(error);
    if (fd_ < 0)
        return false;
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (stopFd_ < 0 || !createNode(identity_.productId)) {
        error = "cannot create the device";
        return false;
    }
    thread_ = std::thread([this] { serve(); });
    return true;
}

bool UhidProtocolDevice::createNode(std::uint16_t productId) {
    {
        std::lock_guard lock(mutex_);
        ++creations_;
    }
    return writeEvent(fd_, createEvent(identity_, productId, ProtocolDescriptor));
}

void UhidProtocolDevice::serve() {
    for (;;) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        uhid_event event{};
        const ssize_t got = ::read(fd_, &event, sizeof event);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return;
        switch (event.type) {
            case UHID_SET_REPORT:
                onSetReport(event.u.set_report);
                break;
            case UHID_GET_REPORT:
                onGetReport(event.u.get_report);
                break;
            case UHID_OUTPUT: {
                std::lock_guard lock(mutex_);
                requests_.push_back(DeviceRequest{DeviceRequest::Kind::Other, {}, false});
                break;
            }
            default:
                break;  // start, stop, open, close
        }
    }
}

void UhidProtocolDevice::onSetReport(const uhid_set_report_req& request) {
    const std::size_t size = std::min<std::size_t>(request.size, UHID_DATA_MAX);
    std::vector<std::uint8_t> bytes(request.data, request.data + size);
    bool failed = false;
    bool enterBootloader = false;
    {
        std::lock_guard lock(mutex_);
        failed = failFrom_ && requests_.size() >= *failFrom_;
        const bool feature = request.rtype == UHID_FEATURE_REPORT && request.rnum == 0;
        if (!failed && feature)
            enterBootloader = device_.onSetFeature(bytes);
        requests_.push_back(
            DeviceRequest{feature ? DeviceRequest::Kind::SetFeature : DeviceRequest::Kind::Other,
                          std::move(bytes), failed});
    }
    uhid_event reply{};
    reply.type = UHID_SET_REPORT_REPLY;
    reply.u.set_report_reply.id = request.id;
    reply.u.set_report_reply.err = failed ? EIO : 0;
    sendEvent(reply);
    if (enterBootloader)
        reenumerate();
}

void UhidProtocolDevice::onGetReport(const uhid_get_report_req& request) {
    std::vector<std::uint8_t> answer;
    bool failed = false;
    {
        std::lock_guard lock(mutex_);
        failed = failFrom_ && requests_.size() >= *failFrom_;
        const bool feature = request.rtype == UHID_FEATURE_REPORT && request.rnum == 0;
        if (!failed && feature)
            answer = device_.onGetFeature();
        requests_.push_back(
            DeviceRequest{feature ? DeviceRequest::Kind::GetFeature : DeviceRequest::Kind::Other,
                          answer, failed});
    }
    uhid_event reply{};
    reply.type = UHID_GET_REPORT_REPLY;
    reply.u.get_report_reply.id = request.id;
    reply.u.get_report_reply.err = failed ? EIO : 0;
    reply.u.get_report_reply.size = static_cast<std::uint16_t>(answer.size());
    std::copy(answer.begin(), answer.end(), reply.u.get_report_reply.data);
    sendEvent(reply);
}

// Leaves the bus and comes back as the bootloader, as the firmware's restart does.
void UhidProtocolDevice::reenumerate() {
    uhid_event destroy{};
    destroy.type = UHID_DESTROY;
    sendEvent(destroy);
    std::this_thread::sleep_for(reenumerationDelay_);
    {
        std::lock_guard lock(mutex_);
        device_.enterBootloader();
    }
    createNode(protocol::BootloaderProductId);
}

bool UhidProtocolDevice::sendEvent(const uhid_event& event) {
    return writeEvent(fd_, event);
}

void UhidProtocolDevice::failRequestsFrom(std::optional<std::size_t> index) {
    std::lock_guard lock(mutex_);
    failFrom_ = index;
}

std::vector<DeviceRequest> UhidProtocolDevice::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t UhidProtocolDevice::requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

DeviceMode UhidProtocolDevice::mode() const {
    std::lock_guard lock(mutex_);
    return device_.mode();
}

int UhidProtocolDevice::creations() const {
    std::lock_guard lock(mutex_);
    return creations_;
}

ProtocolDevice UhidProtocolDevice::model() const {
    std::lock_guard lock(mutex_);
    return device_;
}

}  // namespace fwu::kerneltest
