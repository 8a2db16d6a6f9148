// The backend over the real SetupAPI and HID.dll of the system it runs on (Wine in CI). Wine
// presents HID interfaces of its own (a virtual mouse and keyboard) or none; none of them is a
// supported device.
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <set>

#include "device/device_link.h"
#include "device/protocol.h"
#include "platform/windows/windows_api.h"
#include "platform/windows/windows_platform.h"

namespace fwu::platform::windows {
namespace {

// Forwards to the system and keeps count of what the backend opened, queried and closed.
class CountingApi final : public WindowsApi {
  public:
    explicit CountingApi(WindowsApi& system) : system_(system) {}

    std::map<std::string, int> opensByPath;
    std::set<HANDLE> openHandles;
    int successfulOpens = 0;
    int attributeQueries = 0;
    int closes = 0;
    int destroyedInfoSets = 0;

    HDEVINFO SetupDiGetClassDevsA(const GUID* guid, PCSTR enumerator, HWND parent,
                                  DWORD flags) override {
        return system_.SetupDiGetClassDevsA(guid, enumerator, parent, flags);
    }
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA info, const GUID* guid,
                                     DWORD index, PSP_DEVICE_INTERFACE_DATA data) override {
        return system_.SetupDiEnumDeviceInterfaces(set, info, guid, index, data);
    }
    BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                          PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size,
                                          PDWORD required, PSP_DEVINFO_DATA info) override {
        return system_.SetupDiGetDeviceInterfaceDetailA(set, data, detail, size, required, info);
    }
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override {
        ++destroyedInfoSets;
        return system_.SetupDiDestroyDeviceInfoList(set);
    }
    void HidD_GetHidGuid(LPGUID guid) override { system_.HidD_GetHidGuid(guid); }
    BOOLEAN HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) override {
        ++attributeQueries;
        return system_.HidD_GetAttributes(device, attributes);
    }
    BOOLEAN HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* data) override {
        return system_.HidD_GetPreparsedData(device, data);
    }
    NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) override {
        return system_.HidP_GetCaps(data, caps);
    }
    BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA data) override {
        return system_.HidD_FreePreparsedData(data);
    }
    BOOLEAN HidD_GetManufacturerString(HANDLE device, PVOID buffer, ULONG length) override {
        return system_.HidD_GetManufacturerString(device, buffer, length);
    }
    BOOLEAN HidD_GetProductString(HANDLE device, PVOID buffer, ULONG length) override {
        return system_.HidD_GetProductString(device, buffer, length);
    }
    BOOLEAN HidD_GetSerialNumberString(HANDLE device, PVOID buffer, ULONG length) override {
        return system_.HidD_GetSerialNumberString(device, buffer, length);
    }
    BOOLEAN HidD_SetFeature(HANDLE device, PVOID report, ULONG length) override {
        return system_.HidD_SetFeature(device, report, length);
    }
    BOOLEAN HidD_GetFeature(HANDLE device, PVOID report, ULONG length) override {
        return system_.HidD_GetFeature(device, report, length);
    }
    HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                       DWORD creation, DWORD flags, HANDLE templateFile) override {
        ++opensByPath[path];
        const HANDLE handle =
            system_.CreateFileA(path, access, share, security, creation, flags, templateFile);
        if (handle != INVALID_HANDLE_VALUE) {
            ++successfulOpens;
            openHandles.insert(handle);
        }
        return handle;
    }
    BOOL CloseHandle(HANDLE handle) override {
        ++closes;
        openHandles.erase(handle);
        return system_.CloseHandle(handle);
    }
    DWORD GetLastError() override { return system_.GetLastError(); }
    void Sleep(DWORD milliseconds) override { system_.Sleep(milliseconds); }

  private:
    WindowsApi& system_;
};

TEST(SystemDeviceSearch, OpensQueriesAndClosesEveryInterfaceAndFindsNoDevice) {
    CountingApi api(systemWindowsApi());
    WindowsPlatform platform(api);
    const auto interfaces = platform.enumerateInterfaces();
    std::cout << interfaces.size() << " HID interface(s) present\n";
    for (const auto& entry : interfaces)
        std::cout << "  " << entry.path << "\n";

    device::DeviceLink link(platform);
    EXPECT_FALSE(link.findTheHid());
    EXPECT_FALSE(link.deviceDetected());

    int usablePaths = 0;
    for (const auto& entry : interfaces) {
        if (entry.path.empty())
            continue;
        ++usablePaths;
        EXPECT_EQ(api.opensByPath[entry.path], 1) << entry.path;
    }
    EXPECT_EQ(static_cast<int>(api.opensByPath.size()), usablePaths);
    EXPECT_EQ(api.attributeQueries, api.successfulOpens);
    EXPECT_EQ(api.closes, api.successfulOpens);
    EXPECT_TRUE(api.openHandles.empty());
    EXPECT_EQ(platform.openHandleCount(), 0);
    EXPECT_EQ(api.destroyedInfoSets, 2);  // one per enumeration
}

// Every query the device link makes, on every interface present, answered by the system.
TEST(SystemDeviceSearch, QueriesEachInterfaceAndReleasesEverything) {
    CountingApi api(systemWindowsApi());
    WindowsPlatform platform(api);
    for (const auto& entry : platform.enumerateInterfaces()) {
        SCOPED_TRACE(entry.path);
        for (const OpenMode mode : {OpenMode::Plain, OpenMode::Overlapped}) {
            const auto opened = platform.open(entry.path, mode);
            if (!opened.handle)
                continue;  // held exclusively by the system, as keyboards are on Windows
            const auto attributes = platform.attributes(*opened.handle);
            ASSERT_TRUE(attributes);
            EXPECT_FALSE(attributes->vendorId == protocol::VendorId &&
                         protocol::isSupportedProduct(attributes->productId));
            const auto caps = platform.capabilities(*opened.handle);
            ASSERT_TRUE(caps);
            std::cout << "  " << std::hex << attributes->vendorId << ":" << attributes->productId
                      << std::dec << " feature report length " << caps->featureReportByteLength
                      << "\n";
            EXPECT_TRUE(platform.close(*opened.handle));
        }
    }
    EXPECT_TRUE(api.openHandles.empty());
    EXPECT_EQ(platform.openHandleCount(), 0);
}

TEST(SystemPlatform, IsTheWindowsBackend) {
    const auto platform = makeSystemPlatform();
    EXPECT_NE(dynamic_cast<WindowsPlatform*>(platform.get()), nullptr);
}

}  // namespace
}  // namespace fwu::platform::windows
