#include "platform/linux/hidraw_io.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <pthread.h>

#include <cerrno>
#include <csignal>

namespace fwu::platform::linux_hid {
namespace {

// The length field of the feature ioctls has 14 bits.
constexpr std::size_t MaxFeatureIoctlLength = (1u << _IOC_SIZEBITS) - 1;

template <typename T>
IoResult<T> failure() {
    return IoResult<T>{std::nullopt, errno};
}

// A feature transfer is never cut short by a signal (Ctrl-C, TERM, HUP): uhid and Bluetooth HID
// wait for the device's answer interruptibly, and would fail the transfer or send the report a
// second time. The signals wait until the transfer is over and are handled then. Those of a
// fault in the program itself are never held back.
class SignalsHeldBack {
  public:
    SignalsHeldBack() {
        sigset_t held;
        sigfillset(&held);
        for (const int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT})
            sigdelset(&held, fault);
        pthread_sigmask(SIG_BLOCK, &held, &earlier_);
    }
    ~SignalsHeldBack() { pthread_sigmask(SIG_SETMASK, &earlier_, nullptr); }
    SignalsHeldBack(const SignalsHeldBack&) = delete;
    SignalsHeldBack& operator=(const SignalsHeldBack&) = delete;

  private:
    sigset_t earlier_{};
};

}  // namespace

IoResult<int> SystemHidrawIo::open(const std::string& path) {
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return failure<int>();
    return IoResult<int>{fd, 0};
}

void SystemHidrawIo::close(int fd) {
    // No retry on EINTR: on Linux the descriptor is released whatever close returns.
    ::close(fd);
}

int SystemHidrawIo::lockExclusive(int fd) {
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result < 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

IoResult<RawInfo> SystemHidrawIo::rawInfo(int fd) {
    hidraw_devinfo info{};
    if (::ioctl(fd, HIDIOCGRAWINFO, &info) < 0)
        return failure<RawInfo>();
    return IoResult<RawInfo>{RawInfo{info.bustype, static_cast<std::uint16_t>(info.vendor),
                                     static_cast<std::uint16_t>(info.product)},
                             0};
}

IoResult<std::vector<std::uint8_t>> SystemHidrawIo::reportDescriptor(int fd) {
    int size = 0;
    if (::ioctl(fd, HIDIOCGRDESCSIZE, &size) < 0)
        return failure<std::vector<std::uint8_t>>();
    hidraw_report_descriptor descriptor{};
    if (size < 0 || static_cast<std::size_t>(size) > sizeof descriptor.value) {
        return IoResult<std::vector<std::uint8_t>>{std::nullopt, EOVERFLOW};
    }
    descriptor.size = static_cast<std::uint32_t>(size);
    if (::ioctl(fd, HIDIOCGRDESC, &descriptor) < 0)
        return failure<std::vector<std::uint8_t>>();
    return IoResult<std::vector<std::uint8_t>>{
        std::vector<std::uint8_t>(descriptor.value, descriptor.value + descriptor.size), 0};
}

IoResult<std::size_t> SystemHidrawIo::setFeature(int fd, std::span<const std::uint8_t> report) {
    if (report.empty() || report.size() > MaxFeatureIoctlLength) {
        return IoResult<std::size_t>{std::nullopt, EINVAL};
    }
    const SignalsHeldBack held;
    // The kernel only reads the buffer, although the request is declared read-write.
    const int result =
        ::ioctl(fd, HIDIOCSFEATURE(report.size()), const_cast<std::uint8_t*>(report.data()));
    if (result < 0)
        return failure<std::size_t>();
    return IoResult<std::size_t>{static_cast<std::size_t>(result), 0};
}

IoResult<std::size_t> SystemHidrawIo::getFeature(int fd, std::span<std::uint8_t> report) {
    if (report.empty() || report.size() > MaxFeatureIoctlLength) {
        return IoResult<std::size_t>{std::nullopt, EINVAL};
    }
    const SignalsHeldBack held;
    const int result = ::ioctl(fd, HIDIOCGFEATURE(report.size()), report.data());
    if (result < 0)
        return failure<std::size_t>();
    return IoResult<std::size_t>{static_cast<std::size_t>(result), 0};
}

}  // namespace fwu::platform::linux_hid
