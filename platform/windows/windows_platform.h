#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>

#include "platform/hid_platform.h"
#include "platform/windows/device_claims.h"
#include "platform/windows/windows_api.h"

namespace fwu::platform::windows {

// The HID services of Windows: SetupAPI lists the HID interfaces, HID.dll does the rest.
//
// Callers get handles of the backend's own, numbers that are never issued twice, each mapped to
// the Windows handle it stands for. Windows gives a closed handle's value to the next object it
// opens, so a close or a query with a handle already closed, or never issued, fails here without
// reaching the system, and can never reach another device. Several threads may use the backend
// at once, each with its own device; one handle is used by one thread at a time.
class WindowsPlatform final : public HidPlatform {
  public:
    explicit WindowsPlatform(WindowsApi& api);
    ~WindowsPlatform() override;
    WindowsPlatform(const WindowsPlatform&) = delete;
    WindowsPlatform& operator=(const WindowsPlatform&) = delete;

    // Handles this backend opened and has not closed yet.
    int openHandleCount() const;

    // Windows makes one interface per top-level collection, all with the device's IDs. Of
    // neighbouring interfaces with the same IDs, the first with the longest feature report is
    // listed first: that collection carries the device's commands. Otherwise SetupAPI's order.
    std::vector<InterfaceEntry> enumerateInterfaces() override;
    OpenResult open(const std::string& path, OpenMode mode) override;
    // Closes the handle, then lets go of the device when the handle held it; on the thread that
    // claimed it.
    bool close(Handle handle) override;
    // A named mutex for the interface path (DeviceClaims); the other handles of the interface,
    // in this program or another, still open it. The system does not tell who holds a mutex.
    ClaimResult claim(Handle handle) override;
    std::optional<DeviceHolder> holderOf(const std::string& path) override;
    std::optional<Attributes> attributes(Handle handle) override;
    std::optional<Capabilities> capabilities(Handle handle) override;
    bool identityString(Handle handle, IdentityString which,
                        std::span<std::uint8_t> buffer) override;
    bool setFeature(Handle handle, std::span<const std::uint8_t> report) override;
    std::optional<std::size_t> getFeature(Handle handle, std::span<std::uint8_t> report) override;
    // Opened with no access rights, which works while another program holds the device.
    std::optional<Attributes> attributesWithoutOpening(const std::string& path) override;
    void sleep(std::chrono::milliseconds duration) override;
    std::chrono::milliseconds monotonicTime() override;
    // Registers for the system's HID interface notifications at the first call (which returns
    // true at once); polls where the system has none.
    bool waitForInterfaceChange(std::chrono::milliseconds timeout) override;
    // A registration of its own for the same notifications; nothing where the system has none.
    std::unique_ptr<InterfaceWatch> watchInterfaces(InterfaceWakeFunction wake) override;

  private:
    struct Collection;
    // An open interface: the Windows handle a token stands for, and the device's mutex while
    // the token holds the device.
    struct OpenInterface {
        HANDLE device = INVALID_HANDLE_VALUE;
        std::string path;
        std::optional<HANDLE> claim;
    };
    Collection inspectWithoutAccess(const std::string& path);
    std::optional<Attributes> attributesOf(HANDLE device);
    std::optional<Capabilities> capabilitiesOf(HANDLE device);

    // The Windows handle a token stands for, while it is open.
    std::optional<HANDLE> systemHandle(Handle handle) const;

    static DWORD CALLBACK onNotification(HCMNOTIFICATION notification, PVOID context,
                                         CM_NOTIFY_ACTION action, PCM_NOTIFY_EVENT_DATA data,
                                         DWORD dataSize);
    bool registerForNotifications();

    WindowsApi& api_;
    DeviceClaims claims_;
    mutable std::mutex mutex_;  // guards the two members below; never held across a system call
    std::map<Handle, OpenInterface> openHandles_;
    std::intptr_t lastIssued_ = 0;

    std::mutex notificationMutex_;  // guards the members below; held by no system call
    std::condition_variable interfaceChanged_;
    bool registrationTried_ = false;
    HCMNOTIFICATION notification_ = nullptr;  // registered, while not null
    bool changeNotified_ = false;             // since the last wait reported one
};

}  // namespace fwu::platform::windows
