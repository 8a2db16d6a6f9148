#pragma once

#include <chrono>

namespace fwu::platform::linux_hid {

// Whose uevents a monitor hears. udev sends its own after its rules ran, when the node's access
// rights are set, so a node the user could not open at the kernel's message may open at udev's.
enum class UeventSenders { Kernel, KernelAndUdev };

// The kernel's device notifications (uevents) on a netlink socket, for the arrival and removal
// of hidraw nodes. The kernel sends them itself, so no udev is needed. Messages that arrive
// while nobody waits stay queued on the socket until the next wait.
class HidrawMonitor {
  public:
    explicit HidrawMonitor(UeventSenders senders = UeventSenders::Kernel) : senders_(senders) {}
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

    // For an event loop: the socket, readable when messages have arrived, and every message
    // read without waiting. True as for waitForChange().
    int descriptor() const { return socket_; }
    bool takeChanges() { return readQueuedMessages() == Drained::Changed; }

  private:
    enum class Drained { Quiet, Changed };
    Drained readQueuedMessages();

    UeventSenders senders_;
    int socket_ = -1;
};

}  // namespace fwu::platform::linux_hid
