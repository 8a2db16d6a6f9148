#include "platform/windows/device_interfaces.h"

#include <cstddef>
#include <cstring>
#include <string>

#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace fwu::platform::windows {

namespace {

// A device path is far shorter; a larger reported size is not trusted with an allocation.
constexpr DWORD MaxDetailRecordSize = 64 * 1024;
constexpr DWORD DevicePathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);

// Destroys the device information set when the enumeration ends, however it ends.
class DeviceInfoList {
  public:
    DeviceInfoList(WindowsApi& api, HDEVINFO set) : api_(api), set_(set) {}
    ~DeviceInfoList() {
        if (valid())
            api_.SetupDiDestroyDeviceInfoList(set_);
    }
    DeviceInfoList(const DeviceInfoList&) = delete;
    DeviceInfoList& operator=(const DeviceInfoList&) = delete;

    bool valid() const { return set_ != INVALID_HANDLE_VALUE && set_ != nullptr; }
    HDEVINFO get() const { return set_; }

  private:
    WindowsApi& api_;
    HDEVINFO set_;
};

// Asks for the detail record's size, then for the record itself, in a buffer one character
// longer than asked for and zero-filled, so the path always ends inside it.
std::string devicePath(WindowsApi& api, HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interfaceData) {
    DWORD requiredSize = 0;
    api.SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &requiredSize, nullptr);
    if (requiredSize <= DevicePathOffset || requiredSize > MaxDetailRecordSize)
        return {};

    // Whole WCHARs, so the record and the path in it are aligned.
    std::vector<WCHAR> record(requiredSize / sizeof(WCHAR) + 2, L'\0');
    const DWORD headerSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    std::memcpy(record.data(), &headerSize, sizeof headerSize);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(record.data());
    if (!api.SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, requiredSize, nullptr,
                                              nullptr)) {
        return {};
    }
    const WCHAR* path = detail->DevicePath;
    const std::size_t room = record.size() - DevicePathOffset / sizeof(WCHAR);
    return toUtf8(std::wstring_view(path, ::wcsnlen(path, room)));
}

}  // namespace

std::vector<InterfaceEntry> enumerateHidInterfaces(WindowsApi& api) {
    GUID hidGuid{};
    api.HidD_GetHidGuid(&hidGuid);
    const DeviceInfoList set(api, api.SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr,
                                                           DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    std::vector<InterfaceEntry> entries;
    if (!set.valid())
        return entries;

    // Any failure of the enumeration ends the list, not only its regular end.
    for (DWORD memberIndex = 0;; ++memberIndex) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof interfaceData;
        if (!api.SetupDiEnumDeviceInterfaces(set.get(), nullptr, &hidGuid, memberIndex,
                                             &interfaceData)) {
            break;
        }
        entries.push_back({devicePath(api, set.get(), interfaceData)});
    }
    return entries;
}

}  // namespace fwu::platform::windows
