#pragma once

#include <optional>
#include <string>

#include "platform/windows/windows_api.h"

namespace fwu::platform::windows {

// The name of the mutex that stands for the device at an interface path, the same for every
// program of ours in every session: the global namespace, then a 64-bit FNV-1a hash of the
// path with its letters in lower case (Windows compares device paths without regard to case,
// and they hold ASCII only; a backslash may not follow the namespace).
std::wstring claimMutexName(const std::string& interfacePath);

// Holds devices against every program of ours on the machine, in every session, through named
// mutexes (claimMutexName). A mutex belongs to the thread that took it, which lets go of it
// again. A program that ends lets go of everything it held: the system tells the next program
// that takes such a mutex that it was abandoned, and that program has it. Within this process
// a device is held once at a time, whichever thread asks, although the mutex would let its
// owning thread take it twice.
class DeviceClaims {
  public:
    explicit DeviceClaims(WindowsApi& api) : api_(api) {}

    // The device's mutex, now owned by the calling thread; nothing while another program, or
    // another part of this one, holds the device (or the system refuses the mutex, as it does
    // one that a program of another user holds).
    std::optional<HANDLE> take(const std::string& interfacePath);
    // Lets go of what take() returned, on the thread that took it.
    void release(const std::string& interfacePath, HANDLE mutex);
    // Whether a program of ours holds the device, without taking it.
    bool held(const std::string& interfacePath);

  private:
    WindowsApi& api_;
};

}  // namespace fwu::platform::windows
