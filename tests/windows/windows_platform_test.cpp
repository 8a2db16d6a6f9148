#include "platform/windows/windows_platform.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "device/device_link.h"
#include "device/protocol.h"
#include "tests/windows/fake_windows_api.h"

namespace fwu::platform::windows {
namespace {

using testing::FakeInterface;
using testing::FakeWindowsApi;

constexpr bool Is64Bit = sizeof(void*) == 8;

// The sizes Windows itself checks in these records, for this build's word size.
constexpr DWORD InterfaceDataSize = Is64Bit ? 32 : 28;
constexpr DWORD DetailHeaderSize = Is64Bit ? 8 : 5;
constexpr DWORD AttributesSize = 12;
constexpr DWORD SecurityAttributesSize = Is64Bit ? 24 : 12;

const std::string KeyboardPath =
    R"(\\?\hid#vid_046d&pid_c31c&mi_00#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})";
const std::string DevicePath =
    R"(\\?\hid#vid_7a5d&pid_0a11#8&2f3e4d5c&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})";

FakeInterface keyboard() {
    FakeInterface entry;
    entry.path = KeyboardPath;
    entry.vendorId = 0x046D;
    entry.productId = 0xC31C;
    return entry;
}

FakeInterface supportedDevice(std::string path = DevicePath) {
    FakeInterface entry;
    entry.path = std::move(path);
    entry.vendorId = protocol::VendorId;
    entry.productId = protocol::ApplicationProductIds[0];
    entry.versionNumber = 0x0105;
    entry.featureReportLength = 65;
    return entry;
}

TEST(WindowsRecords, CarryTheSizesOfThisWordSize) {
    FakeWindowsApi api;
    api.interfaces = {supportedDevice()};
    WindowsPlatform platform(api);
    const auto entries = platform.enumerateInterfaces();
    ASSERT_EQ(entries.size(), 1u);
    const auto opened = platform.open(entries[0].path, OpenMode::Plain);
    ASSERT_TRUE(opened.handle);
    ASSERT_TRUE(platform.attributes(*opened.handle));

    EXPECT_EQ(api.callsOf("SetupDiEnumDeviceInterfaces").front().recordSize, InterfaceDataSize);
    const auto detailQueries = api.callsOf("SetupDiGetDeviceInterfaceDetailA");
    ASSERT_EQ(detailQueries.size(), 2u);
    EXPECT_EQ(detailQueries[0].length, 0u);  // the size query: no buffer
    EXPECT_EQ(detailQueries[1].recordSize, DetailHeaderSize);
    EXPECT_EQ(api.callsOf("HidD_GetAttributes").front().recordSize, AttributesSize);
    EXPECT_EQ(api.callsOf("CreateFileA").front().recordSize, SecurityAttributesSize);
    EXPECT_EQ(api.callsOf("SetupDiGetClassDevsA").front().length,
              static_cast<DWORD>(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
}

TEST(WindowsEnumeration, GivesEachInterfacePathOrNoneInOrder) {
    struct Case {
        const char* name;
        FakeInterface middle;
        std::string expectedPath;
    };
    auto withoutSize = supportedDevice();
    withoutSize.reportsNoDetailSize = true;
    auto failingDetail = supportedDevice();
    failingDetail.failsDetailQuery = true;
    auto unterminated = supportedDevice();
    unterminated.unterminatedPath = true;
    auto shortest = supportedDevice("x");
    const Case cases[] = {
        {"a path", supportedDevice(), DevicePath},
        {"no size from the first query", withoutSize, ""},
        {"a failing second query", failingDetail, ""},
        {"a path that fills the record", unterminated, DevicePath},
        {"a one-character path", shortest, "x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWindowsApi api;
        api.interfaces = {keyboard(), c.middle, keyboard()};
        WindowsPlatform platform(api);
        const auto entries = platform.enumerateInterfaces();
        ASSERT_EQ(entries.size(), 3u);
        EXPECT_EQ(entries[0].path, KeyboardPath);
        EXPECT_EQ(entries[1].path, c.expectedPath);
        EXPECT_EQ(entries[2].path, KeyboardPath);
        EXPECT_EQ(api.destroyedInfoSets, 1);
    }
}

TEST(WindowsEnumeration, WithoutAnInfoSetListsNothingAndDestroysNothing) {
    FakeWindowsApi api;
    api.interfaces = {supportedDevice()};
    api.failClassDevs = true;
    WindowsPlatform platform(api);
    EXPECT_TRUE(platform.enumerateInterfaces().empty());
    EXPECT_EQ(api.callCount("SetupDiEnumDeviceInterfaces"), 0);
    EXPECT_EQ(api.callCount("SetupDiDestroyDeviceInfoList"), 0);
}

TEST(WindowsOpen, OpensForReadingAndWritingPlainOrOverlapped) {
    FakeWindowsApi api;
    api.interfaces = {supportedDevice()};
    WindowsPlatform platform(api);
    ASSERT_TRUE(platform.open(DevicePath, OpenMode::Plain).handle);
    ASSERT_TRUE(platform.open(DevicePath, OpenMode::Overlapped).handle);
    const auto opens = api.callsOf("CreateFileA");
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0].length, 0u);
    EXPECT_EQ(opens[1].length, static_cast<DWORD>(FILE_FLAG_OVERLAPPED));
    EXPECT_EQ(platform.openHandleCount(), 2);
}

TEST(WindowsOpen, TellsWhyAnOpenFailed) {
    const std::pair<DWORD, OpenError> cases[] = {
        {ERROR_ACCESS_DENIED, OpenError::PermissionDenied},
        {ERROR_FILE_NOT_FOUND, OpenError::NotPresent},
        {ERROR_DEVICE_NOT_CONNECTED, OpenError::NotPresent},
        {ERROR_SHARING_VIOLATION, OpenError::Other},
        {ERROR_GEN_FAILURE, OpenError::Other},
    };
    for (const auto& [code, expected] : cases) {
        SCOPED_TRACE(code);
        FakeWindowsApi api;
        auto device = supportedDevice();
        device.openError = code;
        api.interfaces = {device};
        WindowsPlatform platform(api);
        const auto result = platform.open(DevicePath, OpenMode::Plain);
        EXPECT_FALSE(result.handle);
        EXPECT_EQ(result.error, expected);
        EXPECT_EQ(platform.openHandleCount(), 0);
    }
}

// A handle value is passed to the system only while this backend holds it open.
TEST(WindowsHandles, NeverPassesAStaleHandleToTheSystem) {
    FakeWindowsApi api;
    api.interfaces = {supportedDevice()};
    WindowsPlatform platform(api);
    const auto handle = *platform.open(DevicePath, OpenMode::Plain).handle;
    EXPECT_TRUE(platform.close(handle));
    EXPECT_FALSE(platform.close(handle));
    EXPECT_FALSE(platform.close(Handle{0}));
    EXPECT_FALSE(platform.close(static_cast<Handle>(-1)));

    std::array<std::uint8_t, 65> report{};
    EXPECT_FALSE(platform.attributes(handle));
    EXPECT_FALSE(platform.capabilities(handle));
    EXPECT_FALSE(platform.identityString(handle, IdentityString::Product, report));
    EXPECT_FALSE(platform.setFeature(handle, report));
    EXPECT_FALSE(platform.getFeature(handle, report));

    EXPECT_EQ(api.callCount("CloseHandle"), 1);
    EXPECT_EQ(api.staleHandleUses, 0);
    EXPECT_EQ(platform.openHandleCount(), 0);
}

TEST(WindowsHandles, ClosesWhatIsStillOpenWhenDestroyed) {
    FakeWindowsApi api;
    api.interfaces = {supportedDevice()};
    {
        WindowsPlatform platform(api);
        ASSERT_TRUE(platform.open(DevicePath, OpenMode::Plain).handle);
        ASSERT_TRUE(platform.open(DevicePath, OpenMode::Overlapped).handle);
    }
    EXPECT_TRUE(api.openHandles.empty());
}

TEST(WindowsCapabilities, ReleasesThePreparsedDataItObtainedAndNoOther) {
    struct Case {
        const char* name;
        bool failsPreparsedData;
        std::optional<std::uint16_t> expectedLength;
        int expectedFrees;
    };
    const Case cases[] = {
        {"preparsed data obtained", false, 65, 1},
        {"preparsed data refused", true, std::nullopt, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWindowsApi api;
        auto device = supportedDevice();
        device.failsPreparsedData = c.failsPreparsedData;
        api.interfaces = {device};
        WindowsPlatform platform(api);
        const auto handle = *platform.open(DevicePath, OpenMode::Plain).handle;
        const auto caps = platform.capabilities(handle);
        ASSERT_EQ(caps.has_value(), c.expectedLength.has_value());
        if (caps) {
            EXPECT_EQ(caps->featureReportByteLength, *c.expectedLength);
        }
        EXPECT_EQ(api.callCount("HidD_FreePreparsedData"), c.expectedFrees);
        EXPECT_EQ(api.outstandingPreparsedData, 0);
    }
}

TEST(WindowsIdentity, AsksTheMatchingQueryWithTheCallersLength) {
    const std::pair<IdentityString, const char*> cases[] = {
        {IdentityString::Manufacturer, "HidD_GetManufacturerString"},
        {IdentityString::Product, "HidD_GetProductString"},
        {IdentityString::SerialNumber, "HidD_GetSerialNumberString"},
    };
    for (const auto& [which, function] : cases) {
        SCOPED_TRACE(function);
        FakeWindowsApi api;
        auto device = supportedDevice();
        device.identityText = u"Ab\u0100";
        api.interfaces = {device};
        WindowsPlatform platform(api);
        const auto handle = *platform.open(DevicePath, OpenMode::Overlapped).handle;
        std::array<std::uint8_t, 40> buffer{};
        ASSERT_TRUE(platform.identityString(handle, which, buffer));
        ASSERT_EQ(api.callCount(function), 1);
        EXPECT_EQ(api.callsOf(function).front().length, 40u);
        const std::array<std::uint8_t, 8> expected = {'A', 0, 'b', 0, 0x00, 0x01, 0, 0};
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()));
    }
}

TEST(WindowsFeatureReports, TransferExactlyTheBytesGiven) {
    FakeWindowsApi api;
    api.interfaces = {supportedDevice()};
    WindowsPlatform platform(api);
    const auto handle = *platform.open(DevicePath, OpenMode::Plain).handle;

    std::array<std::uint8_t, 66> buffer{};
    buffer[1] = protocol::StartCommand;
    buffer[65] = 0xEE;  // the extra position of an L + 1 buffer: never sent
    ASSERT_TRUE(platform.setFeature(handle, std::span(buffer).first(65)));
    ASSERT_EQ(api.lastFeatureSent.size(), 65u);
    EXPECT_EQ(api.lastFeatureSent[1], protocol::StartCommand);

    std::array<std::uint8_t, 65> answer{};
    EXPECT_EQ(platform.getFeature(handle, answer), std::optional<std::size_t>(65));
    EXPECT_EQ(answer[35], 35);
    EXPECT_EQ(api.callsOf("HidD_GetFeature").front().length, 65u);
}

TEST(WindowsSleep, KeepsEveryDurationWithinWhatSleepTakes) {
    const std::pair<std::chrono::milliseconds, DWORD> cases[] = {
        {std::chrono::milliseconds(2), 2},
        {std::chrono::milliseconds(-5), 0},
        {std::chrono::hours(24 * 365 * 200), INFINITE - 1},
    };
    for (const auto& [duration, expected] : cases) {
        FakeWindowsApi api;
        WindowsPlatform platform(api);
        platform.sleep(duration);
        EXPECT_EQ(api.lastSleep, expected);
    }
}

// The device search of device/ over this backend: a foreign interface before the device is
// opened, queried and closed; the device is opened plainly, then overlapped; the interface
// after it is never opened.
TEST(WindowsDeviceSearch, FindsTheFirstSupportedInterfaceAndLeavesNothingOpen) {
    FakeWindowsApi api;
    auto second = supportedDevice(DevicePath + "-second");
    api.interfaces = {keyboard(), supportedDevice(), second};
    WindowsPlatform platform(api);
    {
        device::DeviceLink link(platform);
        ASSERT_TRUE(link.findTheHid());
        EXPECT_EQ(link.devicePath(), DevicePath);
        EXPECT_EQ(link.featureReportLength(), 65);
        EXPECT_EQ(link.attributes().versionNumber, 0x0105);
        EXPECT_EQ(api.callCount("CreateFileA"), 3);  // keyboard, device plain, device overlapped
        EXPECT_EQ(platform.openHandleCount(), 2);
        link.closeConnection();
        EXPECT_EQ(platform.openHandleCount(), 0);
    }
    EXPECT_TRUE(api.openHandles.empty());
    EXPECT_EQ(api.staleHandleUses, 0);
    EXPECT_EQ(api.outstandingPreparsedData, 0);
}

}  // namespace
}  // namespace fwu::platform::windows
