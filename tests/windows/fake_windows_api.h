#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/windows/windows_api.h"

namespace fwu::platform::windows::testing {

// One HID interface as the fake system presents it.
struct FakeInterface {
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;
    std::uint16_t featureReportLength = 0;
    std::optional<DWORD> openError;    // CreateFileA fails with this code
    bool reportsNoDetailSize = false;  // the first detail query tells no size
    bool failsDetailQuery = false;     // the second detail query fails
    bool unterminatedPath = false;     // the record holds the path without its zero
    bool failsPreparsedData = false;
    std::u16string identityText;  // what every identity-string query answers
};

// The record sizes and arguments the backend handed to the system, as the system saw them.
struct ObservedCall {
    std::string function;
    DWORD recordSize = 0;  // cbSize, Size or nLength of the record passed, where there is one
    DWORD length = 0;      // a buffer length or flags, where there is one
};

// SetupAPI and HID.dll over a list of interfaces. Handles are numbers it issues; a call with a
// handle it did not issue, or one already closed, is counted as a stale use.
class FakeWindowsApi final : public WindowsApi {
  public:
    std::vector<FakeInterface> interfaces;
    std::vector<ObservedCall> calls;
    bool failClassDevs = false;
    std::set<std::uintptr_t> openHandles;
    int staleHandleUses = 0;
    int destroyedInfoSets = 0;
    int outstandingPreparsedData = 0;
    DWORD lastSleep = 0;
    std::vector<std::uint8_t> lastFeatureSent;

    int callCount(const std::string& function) const;
    std::vector<ObservedCall> callsOf(const std::string& function) const;

    HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent,
                                  DWORD flags) override;
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfo,
                                     const GUID* interfaceClassGuid, DWORD memberIndex,
                                     PSP_DEVICE_INTERFACE_DATA interfaceData) override;
    BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO deviceInfoSet,
                                          PSP_DEVICE_INTERFACE_DATA interfaceData,
                                          PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,
                                          DWORD detailSize, PDWORD requiredSize,
                                          PSP_DEVINFO_DATA deviceInfo) override;
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO deviceInfoSet) override;
    void HidD_GetHidGuid(LPGUID hidGuid) override;
    BOOLEAN HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) override;
    BOOLEAN HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* preparsedData) override;
    NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA preparsedData, PHIDP_CAPS caps) override;
    BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsedData) override;
    BOOLEAN HidD_GetManufacturerString(HANDLE device, PVOID buffer, ULONG length) override;
    BOOLEAN HidD_GetProductString(HANDLE device, PVOID buffer, ULONG length) override;
    BOOLEAN HidD_GetSerialNumberString(HANDLE device, PVOID buffer, ULONG length) override;
    BOOLEAN HidD_SetFeature(HANDLE device, PVOID report, ULONG length) override;
    BOOLEAN HidD_GetFeature(HANDLE device, PVOID report, ULONG length) override;
    HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                       DWORD creation, DWORD flags, HANDLE templateFile) override;
    BOOL CloseHandle(HANDLE handle) override;
    DWORD GetLastError() override { return lastError_; }
    void Sleep(DWORD milliseconds) override { lastSleep = milliseconds; }

  private:
    const FakeInterface* interfaceOf(HANDLE handle);
    const FakeInterface* interfaceAt(PSP_DEVICE_INTERFACE_DATA interfaceData) const;
    BOOLEAN copyString(HANDLE device, const char* function, PVOID buffer, ULONG length);

    GUID hidGuid_{0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
    std::map<std::uintptr_t, std::size_t> handleInterface_;  // open handle -> interface index
    std::uintptr_t nextHandle_ = 0x100;
    DWORD lastError_ = 0;
    std::map<std::uintptr_t, std::size_t> preparsedInterface_;
    std::uintptr_t nextPreparsed_ = 0x9000;
    std::uintptr_t infoSet_ = 0x5e7;
};

}  // namespace fwu::platform::windows::testing
