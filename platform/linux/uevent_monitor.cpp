#include "platform/linux/uevent_monitor.h"

#include <linux/netlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string_view>

#include "platform/linux/uevent.h"

namespace fwu::platform::linux_hid {
namespace {

// The multicast groups (bits) the kernel and udev send their uevents to.
constexpr unsigned KernelUeventGroup = 1;
constexpr unsigned UdevUeventGroup = 2;
// Larger than any uevent the kernel sends.
constexpr std::size_t MessageBufferSize = 16 * 1024;

}  // namespace

HidrawMonitor::~HidrawMonitor() {
    if (socket_ >= 0)
        ::close(socket_);
}

bool HidrawMonitor::open() {
    const int fd =
        ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
    if (fd < 0)
        return false;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups =
        KernelUeventGroup | (senders_ == UeventSenders::KernelAndUdev ? UdevUeventGroup : 0);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return false;
    }
    socket_ = fd;
    return true;
}

HidrawMonitor::Drained HidrawMonitor::readQueuedMessages() {
    std::array<char, MessageBufferSize> buffer;
    bool changed = false;
    for (;;) {
        sockaddr_nl sender{};
        socklen_t senderSize = sizeof sender;
        const ssize_t received = ::recvfrom(socket_, buffer.data(), buffer.size(), 0,
                                            reinterpret_cast<sockaddr*>(&sender), &senderSize);
        if (received < 0 && errno == EINTR)
            continue;
        if (received < 0) {
            // EAGAIN: the queue is empty. ENOBUFS: it overflowed and messages were lost; any
            // other error: the socket cannot tell. Either way the caller should look again.
            return changed || errno != EAGAIN ? Drained::Changed : Drained::Quiet;
        }
        // Only the kernel's own messages count, and udev's where asked for: only a privileged
        // process may send to these groups, and at worst a message makes the caller look again.
        if (sender.nl_pid != 0 && senders_ != UeventSenders::KernelAndUdev)
            continue;
        changed = changed || isHidrawArrivalOrRemoval(std::string_view(
                                 buffer.data(), static_cast<std::size_t>(received)));
    }
}

bool HidrawMonitor::waitForChange(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (readQueuedMessages() == Drained::Changed)
            return true;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left <= std::chrono::milliseconds{0})
            return false;
        pollfd ready{socket_, POLLIN, 0};
        const int result = ::poll(
            &ready, 1,
            static_cast<int>(std::min<std::chrono::milliseconds::rep>(left.count(), 60'000)));
        if (result < 0 && errno != EINTR)
            return true;
    }
}

}  // namespace fwu::platform::linux_hid
