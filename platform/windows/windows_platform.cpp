#include "platform/windows/windows_platform.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <limits>
#include <utility>

#include "platform/windows/device_interfaces.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace fwu::platform {

std::unique_ptr<HidPlatform> makeSystemPlatform() {
    return std::make_unique<windows::WindowsPlatform>(windows::systemWindowsApi());
}

}  // namespace fwu::platform

namespace fwu::platform::windows {

namespace {

constexpr DWORD ReadWriteAccess = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD NoAccess = 0;  // enough for the attributes and the capabilities
constexpr DWORD ShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

// A USB string holds at most 126 UTF-16 code units; HID.dll fails, and returns nothing, when
// the buffer cannot take the whole string and its terminating zero.
constexpr std::size_t IdentityQueryBytes = (126 + 1) * sizeof(WCHAR);

OpenError openErrorFor(DWORD errorCode) {
    switch (errorCode) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:  // held exclusively by another program
            return OpenError::PermissionDenied;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEV_NOT_EXIST:
            return OpenError::NotPresent;
        default:
            return OpenError::Other;
    }
}

bool fitsInUlong(std::size_t size) {
    return size <= std::numeric_limits<ULONG>::max();
}

// Opens one interface; the handle is never inherited by a program this one starts.
HANDLE openInterface(WindowsApi& api, const std::string& path, DWORD access, DWORD flags) {
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = FALSE;
    const std::wstring widePath = toUtf16(path);
    const HANDLE opened = api.CreateFileW(widePath.c_str(), access, ShareReadWrite, &security,
                                          OPEN_EXISTING, flags, nullptr);
    return opened == nullptr ? INVALID_HANDLE_VALUE : opened;
}

// Hands the caller the string's whole code units that fit, then its zero when that fits too.
void copyIdentity(std::span<const std::uint8_t> queried, std::span<std::uint8_t> buffer) {
    std::size_t units = 0;
    while (2 * units + 1 < queried.size() && (queried[2 * units] | queried[2 * units + 1]) != 0)
        ++units;
    const std::size_t bytes = std::min(2 * (units + 1), buffer.size() / 2 * 2);
    std::copy_n(queried.begin(), std::min(bytes, queried.size()), buffer.begin());
}

}  // namespace

struct WindowsPlatform::Collection {
    std::optional<Attributes> ids;
    std::uint16_t featureReportLength = 0;
};

WindowsPlatform::WindowsPlatform(WindowsApi& api) : api_(api), claims_(api) {}

WindowsPlatform::~WindowsPlatform() {
    // Returns once no callback runs any more.
    if (notification_ != nullptr)
        api_.CM_Unregister_Notification(notification_);
    for (const auto& [token, open] : openHandles_) {
        api_.CloseHandle(open.device);
        if (open.claim)
            claims_.release(open.path, *open.claim);
    }
}

int WindowsPlatform::openHandleCount() const {
    const std::lock_guard lock(mutex_);
    return static_cast<int>(openHandles_.size());
}

std::optional<HANDLE> WindowsPlatform::systemHandle(Handle handle) const {
    const std::lock_guard lock(mutex_);
    const auto found = openHandles_.find(handle);
    if (found == openHandles_.end())
        return std::nullopt;
    return found->second.device;
}

WindowsPlatform::Collection WindowsPlatform::inspectWithoutAccess(const std::string& path) {
    Collection collection;
    if (path.empty())
        return collection;
    const HANDLE device = openInterface(api_, path, NoAccess, 0);
    if (device == INVALID_HANDLE_VALUE)
        return collection;
    collection.ids = attributesOf(device);
    if (const auto caps = capabilitiesOf(device))
        collection.featureReportLength = caps->featureReportByteLength;
    api_.CloseHandle(device);
    return collection;
}

std::vector<InterfaceEntry> WindowsPlatform::enumerateInterfaces() {
    std::vector<InterfaceEntry> entries = enumerateHidInterfaces(api_);
    std::vector<Collection> collections;
    for (const auto& entry : entries)
        collections.push_back(inspectWithoutAccess(entry.path));

    for (std::size_t first = 0; first < entries.size();) {
        std::size_t end = first + 1;
        while (end < entries.size() && collections[first].ids &&
               collections[end].ids == collections[first].ids) {
            ++end;
        }
        std::size_t longest = first;
        for (std::size_t i = first + 1; i < end; ++i) {
            if (collections[i].featureReportLength > collections[longest].featureReportLength)
                longest = i;
        }
        std::rotate(entries.begin() + static_cast<std::ptrdiff_t>(first),
                    entries.begin() + static_cast<std::ptrdiff_t>(longest),
                    entries.begin() + static_cast<std::ptrdiff_t>(longest) + 1);
        first = end;
    }
    return entries;
}

OpenResult WindowsPlatform::open(const std::string& path, OpenMode mode) {
    const DWORD flags = mode == OpenMode::Overlapped ? FILE_FLAG_OVERLAPPED : 0;
    const HANDLE opened = openInterface(api_, path, ReadWriteAccess, flags);
    if (opened == INVALID_HANDLE_VALUE)
        return {std::nullopt, openErrorFor(api_.GetLastError())};
    const std::lock_guard lock(mutex_);
    const auto token = static_cast<Handle>(++lastIssued_);
    openHandles_.emplace(token, OpenInterface{opened, path, std::nullopt});
    return {token, OpenError::None};
}

bool WindowsPlatform::close(Handle handle) {
    OpenInterface closed;
    {
        const std::lock_guard lock(mutex_);
        const auto found = openHandles_.find(handle);
        if (found == openHandles_.end())
            return false;
        closed = found->second;
        openHandles_.erase(found);
    }
    const bool closedDevice = api_.CloseHandle(closed.device) != FALSE;
    if (closed.claim)
        claims_.release(closed.path, *closed.claim);
    return closedDevice;
}

ClaimResult WindowsPlatform::claim(Handle handle) {
    std::string path;
    {
        const std::lock_guard lock(mutex_);
        const auto found = openHandles_.find(handle);
        if (found == openHandles_.end())
            return {};
        if (found->second.claim)
            return {true, {}};
        path = found->second.path;
    }
    const auto mutex = claims_.take(path);
    if (!mutex)
        return {};
    const std::lock_guard lock(mutex_);
    openHandles_.find(handle)->second.claim = *mutex;  // the handle's thread is this one
    return {true, {}};
}

std::optional<DeviceHolder> WindowsPlatform::holderOf(const std::string& path) {
    return claims_.held(path) ? std::optional<DeviceHolder>(DeviceHolder{}) : std::nullopt;
}

std::optional<Attributes> WindowsPlatform::attributesOf(HANDLE device) {
    HIDD_ATTRIBUTES queried{};
    queried.Size = sizeof queried;
    if (!api_.HidD_GetAttributes(device, &queried))
        return std::nullopt;
    return Attributes{queried.VendorID, queried.ProductID, queried.VersionNumber};
}

// The preparsed data is released in the same call that obtained it, and only then.
std::optional<Capabilities> WindowsPlatform::capabilitiesOf(HANDLE device) {
    PHIDP_PREPARSED_DATA preparsedData = nullptr;
    if (!api_.HidD_GetPreparsedData(device, &preparsedData))
        return std::nullopt;
    HIDP_CAPS caps{};
    const NTSTATUS status = api_.HidP_GetCaps(preparsedData, &caps);
    api_.HidD_FreePreparsedData(preparsedData);
    if (status != HIDP_STATUS_SUCCESS)
        return std::nullopt;
    return Capabilities{caps.FeatureReportByteLength};
}

std::optional<Attributes> WindowsPlatform::attributes(Handle handle) {
    const auto device = systemHandle(handle);
    return device ? attributesOf(*device) : std::nullopt;
}

std::optional<Capabilities> WindowsPlatform::capabilities(Handle handle) {
    const auto device = systemHandle(handle);
    return device ? capabilitiesOf(*device) : std::nullopt;
}

std::optional<Attributes> WindowsPlatform::attributesWithoutOpening(const std::string& path) {
    return inspectWithoutAccess(path).ids;
}

bool WindowsPlatform::identityString(Handle handle, IdentityString which,
                                     std::span<std::uint8_t> buffer) {
    const auto device = systemHandle(handle);
    if (!device)
        return false;
    std::array<std::uint8_t, IdentityQueryBytes> queried{};
    const auto length = static_cast<ULONG>(queried.size());
    BOOLEAN found = FALSE;
    switch (which) {
        case IdentityString::Manufacturer:
            found = api_.HidD_GetManufacturerString(*device, queried.data(), length);
            break;
        case IdentityString::Product:
            found = api_.HidD_GetProductString(*device, queried.data(), length);
            break;
        case IdentityString::SerialNumber:
            found = api_.HidD_GetSerialNumberString(*device, queried.data(), length);
            break;
    }
    if (!found)
        return false;
    copyIdentity(queried, buffer);
    return true;
}

bool WindowsPlatform::setFeature(Handle handle, std::span<const std::uint8_t> report) {
    const auto device = systemHandle(handle);
    if (!device || !fitsInUlong(report.size()))
        return false;
    // HidD_SetFeature takes a non-const pointer but only reads the report.
    auto* bytes = const_cast<std::uint8_t*>(report.data());
    return api_.HidD_SetFeature(*device, bytes, static_cast<ULONG>(report.size())) != FALSE;
}

// HID.dll does not say how many bytes arrived: a successful request fills the whole report.
std::optional<std::size_t> WindowsPlatform::getFeature(Handle handle,
                                                       std::span<std::uint8_t> report) {
    const auto device = systemHandle(handle);
    if (!device || !fitsInUlong(report.size()))
        return std::nullopt;
    if (!api_.HidD_GetFeature(*device, report.data(), static_cast<ULONG>(report.size())))
        return std::nullopt;
    return report.size();
}

void WindowsPlatform::sleep(std::chrono::milliseconds duration) {
    // INFINITE would never return; anything that long is cut just below it.
    const auto longest = static_cast<std::chrono::milliseconds::rep>(INFINITE - 1);
    api_.Sleep(static_cast<DWORD>(
        std::clamp<std::chrono::milliseconds::rep>(duration.count(), 0, longest)));
}

namespace {

bool isArrivalOrRemoval(CM_NOTIFY_ACTION action) {
    return action == CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL ||
           action == CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL;
}

CM_NOTIFY_FILTER hidInterfaceFilter(WindowsApi& api) {
    CM_NOTIFY_FILTER filter{};
    filter.cbSize = sizeof filter;
    filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
    api.HidD_GetHidGuid(&filter.u.DeviceInterface.ClassGuid);
    return filter;
}

// A registration of its own, whose callback, on a thread of the system's, wakes the event loop.
class NotificationWatch final : public InterfaceWatch {
  public:
    NotificationWatch(WindowsApi& api, InterfaceWakeFunction wake)
        : api_(api), wake_(std::move(wake)) {}
    // Returns once no callback runs any more.
    ~NotificationWatch() override {
        if (registration_ != nullptr)
            api_.CM_Unregister_Notification(registration_);
    }
    NotificationWatch(const NotificationWatch&) = delete;
    NotificationWatch& operator=(const NotificationWatch&) = delete;

    bool start() {
        CM_NOTIFY_FILTER filter = hidInterfaceFilter(api_);
        return api_.CM_Register_Notification(&filter, this, &NotificationWatch::onNotification,
                                             &registration_) == CR_SUCCESS;
    }
    bool takeChanges() override { return changed_.exchange(false); }

  private:
    static DWORD CALLBACK onNotification(HCMNOTIFICATION, PVOID context, CM_NOTIFY_ACTION action,
                                         PCM_NOTIFY_EVENT_DATA, DWORD) {
        if (isArrivalOrRemoval(action)) {
            auto& watch = *static_cast<NotificationWatch*>(context);
            watch.changed_ = true;
            watch.wake_();
        }
        return ERROR_SUCCESS;
    }

    WindowsApi& api_;
    InterfaceWakeFunction wake_;
    HCMNOTIFICATION registration_ = nullptr;
    std::atomic<bool> changed_{false};
};

}  // namespace

std::unique_ptr<InterfaceWatch> WindowsPlatform::watchInterfaces(InterfaceWakeFunction wake) {
    auto watch = std::make_unique<NotificationWatch>(api_, std::move(wake));
    if (!watch->start())
        return nullptr;
    return watch;
}

DWORD CALLBACK WindowsPlatform::onNotification(HCMNOTIFICATION, PVOID context,
                                               CM_NOTIFY_ACTION action, PCM_NOTIFY_EVENT_DATA,
                                               DWORD) {
    if (isArrivalOrRemoval(action)) {
        auto& platform = *static_cast<WindowsPlatform*>(context);
        const std::lock_guard lock(platform.notificationMutex_);
        platform.changeNotified_ = true;
        platform.interfaceChanged_.notify_all();
    }
    return ERROR_SUCCESS;
}

bool WindowsPlatform::registerForNotifications() {
    CM_NOTIFY_FILTER filter = hidInterfaceFilter(api_);
    HCMNOTIFICATION notification = nullptr;
    if (api_.CM_Register_Notification(&filter, this, &WindowsPlatform::onNotification,
                                      &notification) != CR_SUCCESS) {
        return false;
    }
    const std::lock_guard lock(notificationMutex_);
    notification_ = notification;
    return true;
}

bool WindowsPlatform::waitForInterfaceChange(std::chrono::milliseconds timeout) {
    std::unique_lock lock(notificationMutex_);
    if (!registrationTried_) {
        registrationTried_ = true;
        lock.unlock();
        if (registerForNotifications())
            return true;  // listening from now on: what came before, the caller looks for
        lock.lock();
    }
    if (notification_ == nullptr) {
        lock.unlock();
        return HidPlatform::waitForInterfaceChange(timeout);
    }
    interfaceChanged_.wait_for(lock, std::max(timeout, std::chrono::milliseconds{0}),
                               [this] { return changeNotified_; });
    return std::exchange(changeNotified_, false);
}

std::chrono::milliseconds WindowsPlatform::monotonicTime() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

}  // namespace fwu::platform::windows
