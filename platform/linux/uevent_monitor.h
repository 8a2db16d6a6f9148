#pragma once

#include <chrono>

namespace fwu::platform::linux_hid {

// The kernel's device notifications (uevents) on a netlink socket, for the arrival and removal
// of hidraw nodes. The kernel sends them itself, so no udev is needed. Messages that arrive
// while nobody waits stay queued on the socket until the next wait.
class HidrawMonitor {
  public:
    HidrawMonitor() = default;
    ~HidrawMonitor();
    HidrawMonitor(const HidrawMonitor&) = delete;
    HidrawMonitor& operator=(const HidrawMonitor&) = delete;

    // Opens the socket and joins the kernel's group; false when the system does not allow it.
    bool open();
    bool isOpen() const { return socket_ >= 0; }

    // Waits until a hidraw node is added or removed, or `timeout` passes. Reads every message
    // that has arrived. True when a change was seen, or may have been lost (the socket's queue
    // overflowed, or it failed); false when the timeout passed quietly.
    bool waitForChange(std::chrono::milliseconds timeout);

  private:
    enum class Drained { Quiet, Changed };
    Drained readQueuedMessages();

    int socket_ = -1;
};

}  // namespace fwu::platform::linux_hid
