#include "platform/windows/windows_platform.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <thread>

#include "device/device_link.h"
#include "device/protocol.h"
#include "platform/windows/device_claims.h"
#include "platform/windows/power_request.h"
#include "tests/windows/fake_windows_api.h"

namespace fwu::platform::windows {
namespace {

using testing::DetailFault;
using testing::FakeInterface;
using testing::FakeWindowsApi;
using Report = std::array<std::uint8_t, 65>;

const std::string KeyboardPath = R"(\\?\hid#vid_046d&pid_c31c&mi_00#7&1a2b&0&0000#{4d1e55b2})";
const std::string DevicePath = R"(\\?\hid#vid_7a5d&pid_0a11&col01#8&2f3e&0&0000#{4d1e55b2})";
const std::string SecondCollection = R"(\\?\hid#vid_7a5d&pid_0a11&col02#8&2f3e&0&0001#{4d1e55b2})";

FakeInterface keyboard() {
    return {KeyboardPath, 0x046D, 0xC31C, 0};
}

FakeInterface supportedDevice(std::string path = DevicePath, std::uint16_t reportLength = 65) {
    return {std::move(path), protocol::VendorId, protocol::ApplicationProductIds[0], reportLength};
}

TEST(WindowsEnumeration, GivesEachInterfacePathOrNoneInOrder) {
    const std::string wide = R"(\\?\hid#vid_7a5d#Прошивка_固件)";
    const std::tuple<DetailFault, std::string, std::string> cases[] = {
        {DetailFault::None, DevicePath, DevicePath},
        {DetailFault::NoSize, DevicePath, ""},
        {DetailFault::SecondQueryFails, DevicePath, ""},
        {DetailFault::Unterminated, DevicePath, DevicePath},
        {DetailFault::None, wide, wide},
    };
    for (const auto& [fault, path, expected] : cases) {
        SCOPED_TRACE(path + " " + std::to_string(static_cast<int>(fault)));
        FakeWindowsApi api;
        api.interfaces = {keyboard(), supportedDevice(path), keyboard()};
        api.interfaces[1].detailFault = fault;
        WindowsPlatform platform(api);
        std::vector<std::string> paths;
        for (const auto& entry : platform.enumerateInterfaces())
            paths.push_back(entry.path);
        EXPECT_EQ(paths, (std::vector<std::string>{KeyboardPath, expected, KeyboardPath}));
        EXPECT_EQ(api.destroyedInfoSets, 1);
    }
}

// One interface per top-level collection: the search opens the one that carries the feature
// reports, and keeps SetupAPI's order when none does.
TEST(WindowsCollections, TheSearchTakesTheCollectionWithTheLongestFeatureReport) {
    const std::tuple<std::uint16_t, std::uint16_t, std::string> cases[] = {
        {0, 65, SecondCollection},  {65, 0, DevicePath}, {65, 65, DevicePath},
        {36, 65, SecondCollection}, {0, 0, DevicePath},
    };
    for (const auto& [first, second, expected] : cases) {
        SCOPED_TRACE(std::to_string(first) + " " + std::to_string(second));
        FakeWindowsApi api;
        api.interfaces = {keyboard(), supportedDevice(DevicePath, first),
                          supportedDevice(SecondCollection, second)};
        WindowsPlatform platform(api);
        {
            device::DeviceLink link(platform);
            ASSERT_TRUE(link.findTheHid());
            EXPECT_EQ(link.devicePath(), expected);
            EXPECT_EQ(link.featureReportLength(), std::max(first, second));
            EXPECT_EQ(api.open.size(), 2u);  // plainly and overlapped; the keyboard closed again
        }
        EXPECT_TRUE(api.open.empty());
        EXPECT_EQ(api.outstandingPreparsedData, 0);
        EXPECT_EQ(api.destroyedInfoSets, 1);
    }
}

// A device that another program holds, or that this user may not open, is named as such.
TEST(WindowsOpen, TellsWhyAnOpenFailed) {
    const std::pair<DWORD, OpenError> cases[] = {
        {ERROR_ACCESS_DENIED, OpenError::PermissionDenied},
        {ERROR_SHARING_VIOLATION, OpenError::PermissionDenied},
        {ERROR_DEVICE_NOT_CONNECTED, OpenError::NotPresent},
        {ERROR_GEN_FAILURE, OpenError::Other},
    };
    for (const auto& [code, expected] : cases) {
        SCOPED_TRACE(code);
        FakeWindowsApi api;
        api.interfaces = {keyboard(), supportedDevice()};
        api.interfaces[1].openError = code;
        WindowsPlatform platform(api);
        EXPECT_EQ(platform.open(DevicePath, OpenMode::Plain).error, expected);
        device::DeviceLink link(platform);
        EXPECT_FALSE(link.findTheHid());
        EXPECT_EQ(link.permissionDenied(), expected == OpenError::PermissionDenied);
        EXPECT_TRUE(api.open.empty());
    }
}

// The hold between programs is a mutex in the global namespace, one per interface path whatever
// its case. Free or abandoned, the search takes it until the device is closed; held by another
// program, another user's (access denied), or held through another link of this program, it is
// refused and the device left alone.
TEST(WindowsClaim, TheSearchHoldsTheDevicesMutexOrPassesOverTheDevice) {
    const std::wstring name = claimMutexName(DevicePath);
    EXPECT_EQ(name.find(L'\\', 7), std::wstring::npos) << "one backslash, after Global";
    std::string upper = DevicePath;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    EXPECT_EQ(claimMutexName(upper), L"Global\\" + name.substr(7));
    EXPECT_NE(claimMutexName(SecondCollection), name);

    constexpr int Other = FakeWindowsApi::OtherProgram;
    const std::tuple<const char*, std::optional<FakeWindowsApi::FakeMutex>, bool> cases[] = {
        {"free", std::nullopt, true},
        {"held", {{1, Other}}, false},
        {"abandoned", {{1, 0, true}}, true},
        {"another user's", {{1, Other, false, true}}, false}};
    for (const auto& [what, planted, claimed] : cases) {
        SCOPED_TRACE(what);
        FakeWindowsApi api;
        api.interfaces = {supportedDevice()};
        if (planted)
            api.mutexes[name] = *planted;
        WindowsPlatform platform(api);
        device::DeviceLink link(platform), second(platform);
        EXPECT_EQ(link.findTheHid(), claimed);
        EXPECT_TRUE(platform.holderOf(DevicePath));
        EXPECT_FALSE(second.findTheHid());
        link.closeConnection();
        EXPECT_EQ(api.mutexes.contains(name) ? api.mutexes[name].owner : 0,
                  planted ? planted->owner : 0);
        EXPECT_EQ(second.findTheHid(), claimed);
        EXPECT_TRUE(api.lastFeatureSent.empty());
        EXPECT_EQ(api.inheritableOpens, 0);
    }
}

// Windows issues a closed handle's value again at once: nothing sent on the closed handle may
// reach the device opened after it, which gets exactly the bytes it is sent.
TEST(WindowsHandles, AClosedHandleNeverReachesTheDeviceOpenedAfterIt) {
    FakeWindowsApi api;
    api.interfaces = {supportedDevice(), supportedDevice(SecondCollection)};
    WindowsPlatform platform(api);
    const auto closed = *platform.open(DevicePath, OpenMode::Plain).handle;
    EXPECT_TRUE(platform.close(closed));
    const auto other = *platform.open(SecondCollection, OpenMode::Plain).handle;

    Report report{};
    EXPECT_FALSE(platform.setFeature(closed, report));
    EXPECT_FALSE(platform.getFeature(closed, report));
    EXPECT_FALSE(platform.attributes(closed));
    EXPECT_FALSE(platform.capabilities(closed));
    EXPECT_FALSE(platform.identityString(closed, IdentityString::Product, report));
    for (const Handle never : {closed, Handle{0}, static_cast<Handle>(-1)})
        EXPECT_FALSE(platform.close(never));
    EXPECT_TRUE(api.lastFeatureSent.empty());
    EXPECT_EQ(api.staleHandleUses, 0);
    EXPECT_EQ(api.inheritableOpens, 0);
    report[1] = protocol::StartCommand;
    ASSERT_TRUE(platform.setFeature(other, report));
    EXPECT_EQ(api.lastFeatureSent, std::vector<std::uint8_t>(report.begin(), report.end()));
}

// One worker per device: while one device's request waits, another device's goes through, and
// opens and closes on several threads at once keep every handle apart.
TEST(WindowsHandles, SeveralThreadsUseSeveralDevicesAtOnce) {
    FakeWindowsApi api;
    std::atomic<bool> firstWaiting = false, secondServed = false, servedMeanwhile = false;
    api.interfaces = {supportedDevice(), supportedDevice(SecondCollection)};
    api.interfaces[0].onGetFeature = [&] {
        firstWaiting = true;
        for (int wait = 0; wait < 2000 && !secondServed; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        servedMeanwhile = secondServed.load();
    };
    api.interfaces[1].onGetFeature = [&] { secondServed = true; };
    {
        WindowsPlatform platform(api);
        const auto first = *platform.open(DevicePath, OpenMode::Plain).handle;
        std::thread waiting([&] {
            Report report{};
            EXPECT_TRUE(platform.getFeature(first, report));
        });
        for (int wait = 0; wait < 2000 && !firstWaiting; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        Report report{};
        EXPECT_TRUE(
            platform.getFeature(*platform.open(SecondCollection, OpenMode::Plain).handle, report));
        waiting.join();
        EXPECT_TRUE(servedMeanwhile);
        api.interfaces[0].onGetFeature = nullptr;

        std::vector<std::thread> workers;
        for (int worker = 0; worker < 6; ++worker) {
            workers.emplace_back([&platform, path = worker % 2 ? DevicePath : SecondCollection] {
                for (int run = 0; run < 100000; ++run) {
                    const auto handle = platform.open(path, OpenMode::Plain).handle;
                    Report answer{};
                    ASSERT_TRUE(handle && platform.getFeature(*handle, answer));
                    ASSERT_TRUE(platform.close(*handle));
                }
            });
        }
        for (auto& worker : workers)
            worker.join();
        EXPECT_EQ(platform.openHandleCount(), 2);
    }
    EXPECT_TRUE(api.open.empty());  // what was left open is closed with the backend
    EXPECT_EQ(api.staleHandleUses, 0);
}

// The first wait registers for HID interface notifications and returns at once; later ones
// end at an arrival or removal, or pass quietly. Without notifications the backend polls.
TEST(WindowsNotifications, AWaitEndsAtAnArrivalOrRemoval) {
    for (const bool available : {true, false}) {
        SCOPED_TRACE(available);
        FakeWindowsApi api;
        api.notificationsAvailable = available;
        {
            WindowsPlatform platform(api);
            const auto wait = [&](int timeout) {
                return platform.waitForInterfaceChange(std::chrono::milliseconds(timeout));
            };
            EXPECT_TRUE(wait(60'000));
            api.notify(CM_NOTIFY_ACTION_DEVICEQUERYREMOVE);
            EXPECT_EQ(wait(10), !available);
            std::thread arriving([&] { api.notify(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL); });
            EXPECT_TRUE(wait(60'000));
            arriving.join();
            api.notify(CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL);
            EXPECT_TRUE(wait(0));
        }
        EXPECT_EQ(api.unregistrations, available ? 1 : 0);
    }
}

// A watch registers for the same notifications and wakes its event loop at an arrival or a
// removal only; without notifications there is none.
TEST(WindowsNotifications, AWatchWakesItsLoopAtAnArrivalOrRemoval) {
    for (const bool available : {true, false}) {
        SCOPED_TRACE(available);
        FakeWindowsApi api;
        api.notificationsAvailable = available;
        WindowsPlatform platform(api);
        int wakes = 0;
        auto watch = platform.watchInterfaces([&wakes] { ++wakes; });
        ASSERT_EQ(watch != nullptr, available);
        if (!watch)
            continue;
        api.notify(CM_NOTIFY_ACTION_DEVICEQUERYREMOVE);
        EXPECT_FALSE(watch->takeChanges());
        api.notify(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL);
        api.notify(CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL);
        EXPECT_EQ(wakes, 2);
        EXPECT_TRUE(watch->takeChanges());
        EXPECT_FALSE(watch->takeChanges());
        watch.reset();
        EXPECT_EQ(api.unregistrations, 1);
    }
}

// HID.dll returns nothing when the buffer cannot take the whole string: the backend asks with
// room for any USB string and hands over what fits the caller's buffer.
TEST(WindowsIdentity, HandsOverStringsOfAnyLengthAsFarAsTheCallersBufferGoes) {
    const std::u16string longest(126, u'Z');
    const std::tuple<IdentityString, std::string, std::u16string, std::size_t, std::size_t>
        cases[] = {
            {IdentityString::Manufacturer, "HidD_GetManufacturerString", u"Ab\u0100", 60, 8},
            {IdentityString::Product, "HidD_GetProductString", longest, 60, 60},
            {IdentityString::SerialNumber, "HidD_GetSerialNumberString", longest.substr(0, 24), 40,
             40},
            {IdentityString::Product, "HidD_GetProductString", longest, 300, 254},
        };
    for (const auto& [which, function, text, bufferSize, bytesHanded] : cases) {
        SCOPED_TRACE(function);
        FakeWindowsApi api;
        api.interfaces = {supportedDevice()};
        api.interfaces[0].identityText = text;
        WindowsPlatform platform(api);
        std::vector<std::uint8_t> buffer(bufferSize, 0xEE), expected(bufferSize, 0xEE);
        ASSERT_TRUE(platform.identityString(*platform.open(DevicePath, OpenMode::Overlapped).handle,
                                            which, buffer));
        EXPECT_EQ(api.lastStringQuery, function);
        const std::u16string terminated = text + u'\0';  // little-endian, as on the wire
        std::memcpy(expected.data(), terminated.data(), bytesHanded);
        EXPECT_EQ(buffer, expected);
    }
}

// While firmware is written a power request that the system be required is set, with the reason
// Windows lists, then cleared and closed; a request Windows refuses is told, and left closed; a
// Windows without power requests is not asked.
TEST(WindowsPowerRequest, IsSetWhileHeldThenClearedAndClosed) {
    const std::string create = "create Writing firmware to Прошивка";
    const struct {
        std::optional<DWORD> createError, setError;
        std::vector<std::string> calls;  // while held, then after
        const char* refusal;             // nullptr: none
    } cases[] = {
        {{}, {}, {create, "set", "clear", "close"}, nullptr},
        {ERROR_NOT_ENOUGH_MEMORY, {}, {create}, "did not create the power request, error 8"},
        {{}, ERROR_ACCESS_DENIED, {create, "set", "close"}, "refused the power request, error 5"},
        {ERROR_CALL_NOT_IMPLEMENTED, {}, {create}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.calls.size());
        FakeWindowsApi api;
        api.powerCreateError = c.createError;
        api.powerSetError = c.setError;
        auto request =
            PowerRequestInhibitor(api).keepAwake("Firmware Update", "Writing firmware to Прошивка");
        const bool held = c.calls.size() == 4;
        EXPECT_EQ(request.block != nullptr, held);
        EXPECT_EQ(request.refusal.has_value(), c.refusal != nullptr);
        EXPECT_NE(request.refusal.value_or("").find(c.refusal ? c.refusal : ""), std::string::npos);
        EXPECT_EQ(api.powerCalls.size(), held ? 2u : c.calls.size());  // set while held
        request.block.reset();
        EXPECT_EQ(api.powerCalls, c.calls);
    }
}

}  // namespace
}  // namespace fwu::platform::windows
