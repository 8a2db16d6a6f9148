#include "platform/windows/windows_platform.h"

#include <algorithm>
#include <limits>

#include "platform/windows/device_interfaces.h"
#include "platform/windows/windows_api.h"

namespace fwu::platform {

std::unique_ptr<HidPlatform> makeSystemPlatform() {
    return std::make_unique<windows::WindowsPlatform>(windows::systemWindowsApi());
}

}  // namespace fwu::platform

namespace fwu::platform::windows {

namespace {

constexpr DWORD ReadWriteAccess = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD ShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

HANDLE nativeHandle(Handle handle) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(handle));
}

Handle portableHandle(HANDLE handle) {
    return static_cast<Handle>(reinterpret_cast<std::intptr_t>(handle));
}

OpenError openErrorFor(DWORD errorCode) {
    switch (errorCode) {
        case ERROR_ACCESS_DENIED:
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

}  // namespace

WindowsPlatform::WindowsPlatform(WindowsApi& api) : api_(api) {}

WindowsPlatform::~WindowsPlatform() {
    for (const Handle handle : heldHandles_)
        api_.CloseHandle(nativeHandle(handle));
}

std::vector<InterfaceEntry> WindowsPlatform::enumerateInterfaces() {
    return enumerateHidInterfaces(api_);
}

OpenResult WindowsPlatform::open(const std::string& path, OpenMode mode) {
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = TRUE;
    const DWORD flags = mode == OpenMode::Overlapped ? FILE_FLAG_OVERLAPPED : 0;

    const HANDLE opened = api_.CreateFileA(path.c_str(), ReadWriteAccess, ShareReadWrite, &security,
                                           OPEN_EXISTING, flags, nullptr);
    if (opened == INVALID_HANDLE_VALUE || opened == nullptr)
        return {std::nullopt, openErrorFor(api_.GetLastError())};
    const Handle handle = portableHandle(opened);
    heldHandles_.insert(handle);
    return {handle, OpenError::None};
}

bool WindowsPlatform::close(Handle handle) {
    if (heldHandles_.erase(handle) == 0)
        return false;
    return api_.CloseHandle(nativeHandle(handle)) != FALSE;
}

std::optional<Attributes> WindowsPlatform::attributes(Handle handle) {
    if (!holds(handle))
        return std::nullopt;
    HIDD_ATTRIBUTES queried{};
    queried.Size = sizeof queried;
    if (!api_.HidD_GetAttributes(nativeHandle(handle), &queried))
        return std::nullopt;
    return Attributes{queried.VendorID, queried.ProductID, queried.VersionNumber};
}

// The preparsed data is released in the same call that obtained it, and only then.
std::optional<Capabilities> WindowsPlatform::capabilities(Handle handle) {
    if (!holds(handle))
        return std::nullopt;
    PHIDP_PREPARSED_DATA preparsedData = nullptr;
    if (!api_.HidD_GetPreparsedData(nativeHandle(handle), &preparsedData))
        return std::nullopt;
    HIDP_CAPS caps{};
    const NTSTATUS status = api_.HidP_GetCaps(preparsedData, &caps);
    api_.HidD_FreePreparsedData(preparsedData);
    if (status != HIDP_STATUS_SUCCESS)
        return std::nullopt;
    return Capabilities{caps.FeatureReportByteLength};
}

bool WindowsPlatform::identityString(Handle handle, IdentityString which,
                                     std::span<std::uint8_t> buffer) {
    if (!holds(handle) || !fitsInUlong(buffer.size()))
        return false;
    const HANDLE device = nativeHandle(handle);
    const auto length = static_cast<ULONG>(buffer.size());
    switch (which) {
        case IdentityString::Manufacturer:
            return api_.HidD_GetManufacturerString(device, buffer.data(), length) != FALSE;
        case IdentityString::Product:
            return api_.HidD_GetProductString(device, buffer.data(), length) != FALSE;
        case IdentityString::SerialNumber:
            return api_.HidD_GetSerialNumberString(device, buffer.data(), length) != FALSE;
    }
    return false;
}

bool WindowsPlatform::setFeature(Handle handle, std::span<const std::uint8_t> report) {
    if (!holds(handle) || !fitsInUlong(report.size()))
        return false;
    // HidD_SetFeature takes a non-const pointer but only reads the report.
    auto* bytes = const_cast<std::uint8_t*>(report.data());
    return api_.HidD_SetFeature(nativeHandle(handle), bytes, static_cast<ULONG>(report.size())) !=
           FALSE;
}

// HID.dll does not say how many bytes arrived: a successful request fills the whole report.
std::optional<std::size_t> WindowsPlatform::getFeature(Handle handle,
                                                       std::span<std::uint8_t> report) {
    if (!holds(handle) || !fitsInUlong(report.size()))
        return std::nullopt;
    if (!api_.HidD_GetFeature(nativeHandle(handle), report.data(),
                              static_cast<ULONG>(report.size()))) {
        return std::nullopt;
    }
    return report.size();
}

void WindowsPlatform::sleep(std::chrono::milliseconds duration) {
    // INFINITE would never return; anything that long is cut just below it.
    const auto longest = static_cast<std::chrono::milliseconds::rep>(INFINITE - 1);
    api_.Sleep(static_cast<DWORD>(
        std::clamp<std::chrono::milliseconds::rep>(duration.count(), 0, longest)));
}

std::chrono::milliseconds WindowsPlatform::monotonicTime() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

}  // namespace fwu::platform::windows
