#pragma once

// Every Windows function the HID backend, the power request and the SHA-256 call, declared in this
// one place (the file operations of platform/file_system_windows.cpp and the text conversions of
// wide_text.cpp are their own). They call the system only through WindowsApi, so a test can put a
// fake underneath it. Only the wide (UTF-16) forms are used: device paths never pass through the
// ANSI code page. SetupAPI, HID.dll, the configuration manager and CNG (bcrypt.dll) are not known
// DLLs that Windows would always take from its own folder: their functions are taken from the
// system folder's DLLs when the program runs (system_library.h), never imported, so a DLL of the
// same name in the program's folder is never loaded.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <optional>
#include <string>

#include <bcrypt.h>
#include <cfgmgr32.h>
#include <setupapi.h>

// mingw-w64's HID headers declare C functions without a linkage block of their own.
// hidsdi.h brings hidpi.h (HidP_GetCaps), after the types that one needs.
extern "C" {
#include <hidsdi.h>
}

namespace fwu::platform::windows {

class WindowsApi {
  public:
    virtual ~WindowsApi() = default;

    // SetupAPI: the HID device interfaces present.
    virtual HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                          DWORD flags) = 0;
    virtual BOOL SetupDiEnumDeviceInterfaces(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfo,
                                             const GUID* interfaceClassGuid, DWORD memberIndex,
                                             PSP_DEVICE_INTERFACE_DATA interfaceData) = 0;
    virtual BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO deviceInfoSet,
                                                  PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                  PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                                  DWORD detailSize, PDWORD requiredSize,
                                                  PSP_DEVINFO_DATA deviceInfo) = 0;
    virtual BOOL SetupDiDestroyDeviceInfoList(HDEVINFO deviceInfoSet) = 0;

    // HID class library.
    virtual void HidD_GetHidGuid(LPGUID hidGuid) = 0;
    virtual BOOLEAN HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) = 0;
    virtual BOOLEAN HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* preparsedData) = 0;
    virtual NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA preparsedData, PHIDP_CAPS caps) = 0;
    virtual BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsedData) = 0;
    virtual BOOLEAN HidD_GetManufacturerString(HANDLE device, PVOID buffer, ULONG length) = 0;
    virtual BOOLEAN HidD_GetProductString(HANDLE device, PVOID buffer, ULONG length) = 0;
    virtual BOOLEAN HidD_GetSerialNumberString(HANDLE device, PVOID buffer, ULONG length) = 0;
    virtual BOOLEAN HidD_SetFeature(HANDLE device, PVOID report, ULONG length) = 0;
    virtual BOOLEAN HidD_GetFeature(HANDLE device, PVOID report, ULONG length) = 0;

    // Kernel. CreateFileW opens an interface for reading and writing, plainly or with
    // FILE_FLAG_OVERLAPPED, or with no access rights to read its attributes only.
    virtual HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode,
                               LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                               HANDLE templateFile) = 0;
    virtual BOOL CloseHandle(HANDLE handle) = 0;
    virtual DWORD GetLastError() = 0;
    virtual void Sleep(DWORD milliseconds) = 0;
    // Named mutexes: the hold on a device between programs (device_claims.h).
    virtual HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES security, BOOL initialOwner,
                                LPCWSTR name) = 0;
    virtual HANDLE OpenMutexW(DWORD access, BOOL inheritHandle, LPCWSTR name) = 0;
    virtual DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) = 0;
    virtual BOOL ReleaseMutex(HANDLE mutex) = 0;

    // Configuration manager: device-interface arrival and removal notifications, called back
    // on a thread of the system's. Windows 8 and later have them; elsewhere (older systems,
    // Wine) registering fails with CR_CALL_NOT_IMPLEMENTED.
    virtual CONFIGRET CM_Register_Notification(PCM_NOTIFY_FILTER filter, PVOID context,
                                               PCM_NOTIFY_CALLBACK callback,
                                               PHCMNOTIFICATION notification) = 0;
    virtual CONFIGRET CM_Unregister_Notification(HCMNOTIFICATION notification) = 0;

    // Kernel: a power request keeps the system from sleeping while it is set (Windows 7 and
    // later). Closed with CloseHandle.
    virtual HANDLE PowerCreateRequest(PREASON_CONTEXT context) = 0;
    virtual BOOL PowerSetRequest(HANDLE request, POWER_REQUEST_TYPE type) = 0;
    virtual BOOL PowerClearRequest(HANDLE request, POWER_REQUEST_TYPE type) = 0;

    // CNG (bcrypt.dll): a hash such as SHA-256, in the calls Windows 7 and later have.
    virtual NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* algorithm, LPCWSTR id,
                                                 LPCWSTR implementation, ULONG flags) = 0;
    virtual NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm, ULONG flags) = 0;
    virtual NTSTATUS BCryptCreateHash(BCRYPT_ALG_HANDLE algorithm, BCRYPT_HASH_HANDLE* hash,
                                      PUCHAR hashObject, ULONG hashObjectSize, PUCHAR secret,
                                      ULONG secretSize, ULONG flags) = 0;
    virtual NTSTATUS BCryptHashData(BCRYPT_HASH_HANDLE hash, PUCHAR input, ULONG inputSize,
                                    ULONG flags) = 0;
    virtual NTSTATUS BCryptFinishHash(BCRYPT_HASH_HANDLE hash, PUCHAR output, ULONG outputSize,
                                      ULONG flags) = 0;
    virtual NTSTATUS BCryptDestroyHash(BCRYPT_HASH_HANDLE hash) = 0;
};

// The functions of the running system.
WindowsApi& systemWindowsApi();

// The first thing each program does: from here on the process loads DLLs from the system folder
// only, and the DLLs behind systemWindowsApi() are loaded from there. Returns what the person
// must be told when either cannot be done; the program then ends.
std::optional<std::string> loadSystemLibraries();

}  // namespace fwu::platform::windows
