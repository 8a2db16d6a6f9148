#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fwu::platform::linux_hid {

struct RawInfo {
    std::uint32_t bus = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// The result of a call that yields a value or an errno.
template <typename T>
struct IoResult {
    std::optional<T> value;
    int error = 0;  // errno when `value` is empty
};

// The calls the backend makes on hidraw nodes. The system implementation issues them to the
// kernel; tests put a fake in its place to play open failures and device answers.
class HidrawIo {
  public:
    virtual ~HidrawIo() = default;

    // Opens the node for reading and writing; the value is the file descriptor.
    virtual IoResult<int> open(const std::string& path) = 0;
    virtual void close(int fd) = 0;
    // flock(LOCK_EX | LOCK_NB): 0 when the lock was taken, otherwise the errno (EWOULDBLOCK while
    // another open of the node holds it).
    virtual int lockExclusive(int fd) = 0;

    virtual IoResult<RawInfo> rawInfo(int fd) = 0;                             // HIDIOCGRAWINFO
    virtual IoResult<std::vector<std::uint8_t>> reportDescriptor(int fd) = 0;  // HIDIOCGRDESC
    // HIDIOCSFEATURE and HIDIOCGFEATURE; the value is the byte count the kernel returns.
    virtual IoResult<std::size_t> setFeature(int fd, std::span<const std::uint8_t> report) = 0;
    virtual IoResult<std::size_t> getFeature(int fd, std::span<std::uint8_t> report) = 0;
};

// The kernel's hidraw driver through ioctl(2). Feature reports go only through the two
// feature ioctls: write(2) on a hidraw node sends an output report instead.
class SystemHidrawIo final : public HidrawIo {
  public:
    IoResult<int> open(const std::string& path) override;
    void close(int fd) override;
    int lockExclusive(int fd) override;
    IoResult<RawInfo> rawInfo(int fd) override;
    IoResult<std::vector<std::uint8_t>> reportDescriptor(int fd) override;
    IoResult<std::size_t> setFeature(int fd, std::span<const std::uint8_t> report) override;
    IoResult<std::size_t> getFeature(int fd, std::span<std::uint8_t> report) override;
};

}  // namespace fwu::platform::linux_hid
