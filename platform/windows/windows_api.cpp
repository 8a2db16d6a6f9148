#include "platform/windows/windows_api.h"

namespace fwu::platform::windows {

namespace {

using RegisterNotification = CONFIGRET(WINAPI*)(PCM_NOTIFY_FILTER, PVOID, PCM_NOTIFY_CALLBACK,
                                                PHCMNOTIFICATION);
using UnregisterNotification = CONFIGRET(WINAPI*)(HCMNOTIFICATION);

// A function of cfgmgr32.dll looked up when the program runs, so that the program still starts
// on a system whose cfgmgr32.dll lacks it; nothing where it does.
template <typename Function>
Function configurationManagerFunction(const char* name) {
    const HMODULE library =
        ::LoadLibraryExW(L"cfgmgr32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == nullptr)
        return nullptr;
    // Through the generic function pointer type, which converts to any other without warning.
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(::GetProcAddress(library, name)));
}

// Forwards every call to the system's own function of the same name.
class SystemWindowsApi final : public WindowsApi {
  public:
    HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                  DWORD flags) override {
        return ::SetupDiGetClassDevsW(classGuid, enumerator, parent, flags);
    }
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfo,
                                     const GUID* interfaceClassGuid, DWORD memberIndex,
                                     PSP_DEVICE_INTERFACE_DATA interfaceData) override {
        return ::SetupDiEnumDeviceInterfaces(deviceInfoSet, deviceInfo, interfaceClassGuid,
                                             memberIndex, interfaceData);
    }
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO deviceInfoSet,
                                          PSP_DEVICE_INTERFACE_DATA interfaceData,
                                          PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                          DWORD detailSize, PDWORD requiredSize,
                                          PSP_DEVINFO_DATA deviceInfo) override {
        return ::SetupDiGetDeviceInterfaceDetailW(deviceInfoSet, interfaceData, detail, detailSize,
                                                  requiredSize, deviceInfo);
    }
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO deviceInfoSet) override {
        return ::SetupDiDestroyDeviceInfoList(deviceInfoSet);
    }

    void HidD_GetHidGuid(LPGUID hidGuid) override { ::HidD_GetHidGuid(hidGuid); }
    BOOLEAN HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) override {
        return ::HidD_GetAttributes(device, attributes);
    }
    BOOLEAN HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* preparsedData) override {
        return ::HidD_GetPreparsedData(device, preparsedData);
    }
    NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA preparsedData, PHIDP_CAPS caps) override {
        return ::HidP_GetCaps(preparsedData, caps);
    }
    BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsedData) override {
        return ::HidD_FreePreparsedData(preparsedData);
    }
    BOOLEAN HidD_GetManufacturerString(HANDLE device, PVOID buffer, ULONG length) override {
        return ::HidD_GetManufacturerString(device, buffer, length);
    }
    BOOLEAN HidD_GetProductString(HANDLE device, PVOID buffer, ULONG length) override {
        return ::HidD_GetProductString(device, buffer, length);
    }
    BOOLEAN HidD_GetSerialNumberString(HANDLE device, PVOID buffer, ULONG length) override {
        return ::HidD_GetSerialNumberString(device, buffer, length);
    }
    BOOLEAN HidD_SetFeature(HANDLE device, PVOID report, ULONG length) override {
        return ::HidD_SetFeature(device, report, length);
    }
    BOOLEAN HidD_GetFeature(HANDLE device, PVOID report, ULONG length) override {
        return ::HidD_GetFeature(device, report, length);
    }

    HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                       DWORD creation, DWORD flags, HANDLE templateFile) override {
        return ::CreateFileW(path, access, shareMode, security, creation, flags, templateFile);
    }
    BOOL CloseHandle(HANDLE handle) override { return ::CloseHandle(handle); }
    DWORD GetLastError() override { return ::GetLastError(); }
    void Sleep(DWORD milliseconds) override { ::Sleep(milliseconds); }

    CONFIGRET CM_Register_Notification(PCM_NOTIFY_FILTER filter, PVOID context,
                                       PCM_NOTIFY_CALLBACK callback,
                                       PHCMNOTIFICATION notification) override {
        if (register_ == nullptr || unregister_ == nullptr)
            return CR_CALL_NOT_IMPLEMENTED;
        return register_(filter, context, callback, notification);
    }
    CONFIGRET CM_Unregister_Notification(HCMNOTIFICATION notification) override {
        return unregister_ == nullptr ? CR_CALL_NOT_IMPLEMENTED : unregister_(notification);
    }

  private:
    const RegisterNotification register_ =
        configurationManagerFunction<RegisterNotification>("CM_Register_Notification");
    const UnregisterNotification unregister_ =
        configurationManagerFunction<UnregisterNotification>("CM_Unregister_Notification");
};

}  // namespace

WindowsApi& systemWindowsApi() {
    static SystemWindowsApi api;
    return api;
}

}  // namespace fwu::platform::windows
