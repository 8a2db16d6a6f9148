#include "platform/windows/windows_api.h"

#include <type_traits>

#include "platform/windows/system_library.h"

namespace fwu::platform::windows {

namespace {

// Calls `function`, or gives `failed` where the function is missing: the person has been told
// why already, by loadSystemLibraries().
template <typename Function, typename... Arguments>
auto callOr(std::invoke_result_t<Function, Arguments...> failed, Function function,
            Arguments... arguments) {
    return function == nullptr ? failed : function(arguments...);
}

// A function of a SystemLibrary, of the type the system's header declares it with.
#define FWU_REQUIRED(library, function) library.required<decltype(&::function)>(#function)

// mingw-w64's cfgmgr32.h has the types of these two but not the functions.
using RegisterNotification = CONFIGRET(WINAPI*)(PCM_NOTIFY_FILTER, PVOID, PCM_NOTIFY_CALLBACK,
                                                PHCMNOTIFICATION);
using UnregisterNotification = CONFIGRET(WINAPI*)(HCMNOTIFICATION);

// What a CNG call gives where bcrypt.dll lacks it (STATUS_NOT_FOUND).
constexpr NTSTATUS CngMissing = static_cast<NTSTATUS>(0xC0000225);

// Forwards every call to the system's own function of the same name, taken from the system
// folder's DLL when the program runs.
class SystemWindowsApi final : public WindowsApi {
  public:
    // Why the program cannot use the system's HID services; nothing when it can.
    std::optional<std::string> problem() const {
        for (const SystemLibrary* library : {&setupApi_, &hid_, &configurationManager_, &cng_}) {
            if (library->problem())
                return library->problem();
        }
        return std::nullopt;
    }

    HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                  DWORD flags) override {
        return callOr(INVALID_HANDLE_VALUE, getClassDevs_, classGuid, enumerator, parent, flags);
    }
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfo,
                                     const GUID* interfaceClassGuid, DWORD memberIndex,
                                     PSP_DEVICE_INTERFACE_DATA interfaceData) override {
        return callOr(FALSE, enumInterfaces_, deviceInfoSet, deviceInfo, interfaceClassGuid,
                      memberIndex, interfaceData);
    }
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO deviceInfoSet,
                                          PSP_DEVICE_INTERFACE_DATA interfaceData,
                                          PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                          DWORD detailSize, PDWORD requiredSize,
                                          PSP_DEVINFO_DATA deviceInfo) override {
        return callOr(FALSE, interfaceDetail_, deviceInfoSet, interfaceData, detail, detailSize,
                      requiredSize, deviceInfo);
    }
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO deviceInfoSet) override {
        return callOr(FALSE, destroyInfoList_, deviceInfoSet);
    }

    void HidD_GetHidGuid(LPGUID hidGuid) override {
        *hidGuid = GUID{};
        if (getHidGuid_ != nullptr)
            getHidGuid_(hidGuid);
    }
    BOOLEAN HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) override {
        return callOr(FALSE, getAttributes_, device, attributes);
    }
    BOOLEAN HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* preparsedData) override {
        return callOr(FALSE, getPreparsedData_, device, preparsedData);
    }
    NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA preparsedData, PHIDP_CAPS caps) override {
        return callOr(HIDP_STATUS_INVALID_PREPARSED_DATA, getCaps_, preparsedData, caps);
    }
    BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsedData) override {
        return callOr(FALSE, freePreparsedData_, preparsedData);
    }
    BOOLEAN HidD_GetManufacturerString(HANDLE device, PVOID buffer, ULONG length) override {
        return callOr(FALSE, manufacturerString_, device, buffer, length);
    }
    BOOLEAN HidD_GetProductString(HANDLE device, PVOID buffer, ULONG length) override {
        return callOr(FALSE, productString_, device, buffer, length);
    }
    BOOLEAN HidD_GetSerialNumberString(HANDLE device, PVOID buffer, ULONG length) override {
        return callOr(FALSE, serialNumberString_, device, buffer, length);
    }
    BOOLEAN HidD_SetFeature(HANDLE device, PVOID report, ULONG length) override {
        return callOr(FALSE, setFeature_, device, report, length);
    }
    BOOLEAN HidD_GetFeature(HANDLE device, PVOID report, ULONG length) override {
        return callOr(FALSE, getFeature_, device, report, length);
    }

    HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                       DWORD creation, DWORD flags, HANDLE templateFile) override {
        return ::CreateFileW(path, access, shareMode, security, creation, flags, templateFile);
    }
    BOOL CloseHandle(HANDLE handle) override { return ::CloseHandle(handle); }
    DWORD GetLastError() override { return ::GetLastError(); }
    void Sleep(DWORD milliseconds) override { ::Sleep(milliseconds); }
    HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCWSTR name) override {
        return ::CreateMutexW(security, initialOwner, name);
    }
    HANDLE OpenMutexW(DWORD access, BOOL inheritHandle, LPCWSTR name) override {
        return ::OpenMutexW(access, inheritHandle, name);
    }
    DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override {
        return ::WaitForSingleObject(handle, milliseconds);
    }
    BOOL ReleaseMutex(HANDLE mutex) override { return ::ReleaseMutex(mutex); }

    // Windows 8 and later have them; elsewhere (Wine 8, older Windows) the backend polls.
    CONFIGRET CM_Register_Notification(PCM_NOTIFY_FILTER filter, PVOID context,
                                       PCM_NOTIFY_CALLBACK callback,
                                       PHCMNOTIFICATION notification) override {
        if (register_ == nullptr || unregister_ == nullptr)
            return CR_CALL_NOT_IMPLEMENTED;
        return register_(filter, context, callback, notification);
    }
    CONFIGRET CM_Unregister_Notification(HCMNOTIFICATION notification) override {
        return callOr(CR_CALL_NOT_IMPLEMENTED, unregister_, notification);
    }

    HANDLE PowerCreateRequest(PREASON_CONTEXT context) override {
        return ::PowerCreateRequest(context);
    }
    BOOL PowerSetRequest(HANDLE request, POWER_REQUEST_TYPE type) override {
        return ::PowerSetRequest(request, type);
    }
    BOOL PowerClearRequest(HANDLE request, POWER_REQUEST_TYPE type) override {
        return ::PowerClearRequest(request, type);
    }

    NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* algorithm, LPCWSTR id,
                                         LPCWSTR implementation, ULONG flags) override {
        return callOr(CngMissing, openAlgorithm_, algorithm, id, implementation, flags);
    }
    NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm, ULONG flags) override {
        return callOr(CngMissing, closeAlgorithm_, algorithm, flags);
    }
    NTSTATUS BCryptCreateHash(BCRYPT_ALG_HANDLE algorithm, BCRYPT_HASH_HANDLE* hash,
                              PUCHAR hashObject, ULONG hashObjectSize, PUCHAR secret,
                              ULONG secretSize, ULONG flags) override {
        return callOr(CngMissing, createHash_, algorithm, hash, hashObject, hashObjectSize, secret,
                      secretSize, flags);
    }
    NTSTATUS BCryptHashData(BCRYPT_HASH_HANDLE hash, PUCHAR input, ULONG inputSize,
                            ULONG flags) override {
        return callOr(CngMissing, hashData_, hash, input, inputSize, flags);
    }
    NTSTATUS BCryptFinishHash(BCRYPT_HASH_HANDLE hash, PUCHAR output, ULONG outputSize,
                              ULONG flags) override {
        return callOr(CngMissing, finishHash_, hash, output, outputSize, flags);
    }
    NTSTATUS BCryptDestroyHash(BCRYPT_HASH_HANDLE hash) override {
        return callOr(CngMissing, destroyHash_, hash);
    }

  private:
    SystemLibrary setupApi_{L"setupapi.dll"};
    const decltype(&::SetupDiGetClassDevsW) getClassDevs_ =
        FWU_REQUIRED(setupApi_, SetupDiGetClassDevsW);
    const decltype(&::SetupDiEnumDeviceInterfaces) enumInterfaces_ =
        FWU_REQUIRED(setupApi_, SetupDiEnumDeviceInterfaces);
    const decltype(&::SetupDiGetDeviceInterfaceDetailW) interfaceDetail_ =
        FWU_REQUIRED(setupApi_, SetupDiGetDeviceInterfaceDetailW);
    const decltype(&::SetupDiDestroyDeviceInfoList) destroyInfoList_ =
        FWU_REQUIRED(setupApi_, SetupDiDestroyDeviceInfoList);

    SystemLibrary hid_{L"hid.dll"};
    const decltype(&::HidD_GetHidGuid) getHidGuid_ = FWU_REQUIRED(hid_, HidD_GetHidGuid);
    const decltype(&::HidD_GetAttributes) getAttributes_ = FWU_REQUIRED(hid_, HidD_GetAttributes);
    const decltype(&::HidD_GetPreparsedData) getPreparsedData_ =
        FWU_REQUIRED(hid_, HidD_GetPreparsedData);
    const decltype(&::HidP_GetCaps) getCaps_ = FWU_REQUIRED(hid_, HidP_GetCaps);
    const decltype(&::HidD_FreePreparsedData) freePreparsedData_ =
        FWU_REQUIRED(hid_, HidD_FreePreparsedData);
    const decltype(&::HidD_GetManufacturerString) manufacturerString_ =
        FWU_REQUIRED(hid_, HidD_GetManufacturerString);
    const decltype(&::HidD_GetProductString) productString_ =
        FWU_REQUIRED(hid_, HidD_GetProductString);
    const decltype(&::HidD_GetSerialNumberString) serialNumberString_ =
        FWU_REQUIRED(hid_, HidD_GetSerialNumberString);
    const decltype(&::HidD_SetFeature) setFeature_ = FWU_REQUIRED(hid_, HidD_SetFeature);
    const decltype(&::HidD_GetFeature) getFeature_ = FWU_REQUIRED(hid_, HidD_GetFeature);

    SystemLibrary configurationManager_{L"cfgmgr32.dll"};
    const RegisterNotification register_ =
        configurationManager_.optional<RegisterNotification>("CM_Register_Notification");
    const UnregisterNotification unregister_ =
        configurationManager_.optional<UnregisterNotification>("CM_Unregister_Notification");

    SystemLibrary cng_{L"bcrypt.dll"};
    const decltype(&::BCryptOpenAlgorithmProvider) openAlgorithm_ =
        FWU_REQUIRED(cng_, BCryptOpenAlgorithmProvider);
    const decltype(&::BCryptCloseAlgorithmProvider) closeAlgorithm_ =
        FWU_REQUIRED(cng_, BCryptCloseAlgorithmProvider);
    const decltype(&::BCryptCreateHash) createHash_ = FWU_REQUIRED(cng_, BCryptCreateHash);
    const decltype(&::BCryptHashData) hashData_ = FWU_REQUIRED(cng_, BCryptHashData);
    const decltype(&::BCryptFinishHash) finishHash_ = FWU_REQUIRED(cng_, BCryptFinishHash);
    const decltype(&::BCryptDestroyHash) destroyHash_ = FWU_REQUIRED(cng_, BCryptDestroyHash);
};

#undef FWU_REQUIRED

SystemWindowsApi& systemApi() {
    static SystemWindowsApi api;
    return api;
}

}  // namespace

WindowsApi& systemWindowsApi() {
    return systemApi();
}

std::optional<std::string> loadSystemLibraries() {
    if (auto problem = restrictDllSearchToSystemFolder())
        return problem;
    return systemApi().problem();
}

}  // namespace fwu::platform::windows
