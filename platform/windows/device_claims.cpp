#include "platform/windows/device_claims.h"

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <set>

#include "platform/windows/wide_text.h"

namespace fwu::platform::windows {

namespace {

constexpr std::uint64_t HashOffsetBasis = 14695981039346656037u;
constexpr std::uint64_t HashPrime = 1099511628211u;
constexpr const wchar_t* MutexNamePrefix = L"Global\\FirmwareUpdate.Device.";

// The names of the mutexes this process holds.
class HeldHere {
  public:
    bool add(const std::wstring& name) {
        const std::lock_guard lock(mutex_);
        return names_.insert(name).second;
    }
    void remove(const std::wstring& name) {
        const std::lock_guard lock(mutex_);
        names_.erase(name);
    }
    bool contains(const std::wstring& name) {
        const std::lock_guard lock(mutex_);
        return names_.contains(name);
    }

  private:
    std::mutex mutex_;
    std::set<std::wstring> names_;
};

HeldHere& heldHere() {
    static HeldHere held;
    return held;
}

char lowerCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::wstring claimMutexName(const std::string& interfacePath) {
    std::uint64_t hash = HashOffsetBasis;
    for (const char c : interfacePath) {
        hash ^= static_cast<unsigned char>(lowerCase(c));
        hash *= HashPrime;
    }
    char digits[17] = {};
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    return MutexNamePrefix + toUtf16(digits);
}

std::optional<HANDLE> DeviceClaims::take(const std::string& interfacePath) {
    const std::wstring name = claimMutexName(interfacePath);
    if (!heldHere().add(name))
        return std::nullopt;
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.bInheritHandle = FALSE;  // a program this one starts does not hold the device
    const HANDLE mutex = api_.CreateMutexW(&security, FALSE, name.c_str());
    if (mutex != nullptr) {
        const DWORD waited = api_.WaitForSingleObject(mutex, 0);
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
            return mutex;
        api_.CloseHandle(mutex);
    }
    heldHere().remove(name);
    return std::nullopt;
}

void DeviceClaims::release(const std::string& interfacePath, HANDLE mutex) {
    api_.ReleaseMutex(mutex);
    api_.CloseHandle(mutex);
    heldHere().remove(claimMutexName(interfacePath));
}

// Every program of ours keeps the mutex open only while it holds the device, or for the moment
// it takes to find that another does.
bool DeviceClaims::held(const std::string& interfacePath) {
    const std::wstring name = claimMutexName(interfacePath);
    if (heldHere().contains(name))
        return true;
    const HANDLE mutex = api_.OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
    if (mutex != nullptr) {
        api_.CloseHandle(mutex);
        return true;
    }
    return api_.GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace fwu::platform::windows
