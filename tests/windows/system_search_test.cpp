// The backend over the real SetupAPI and HID.dll of the system it runs on (Wine in CI). Wine
// presents HID interfaces of its own (a virtual mouse and keyboard) or none; none of them is a
// supported device.
#include <gtest/gtest.h>

#include "device/device_link.h"
#include "platform/windows/windows_api.h"
#include "platform/windows/windows_platform.h"

namespace fwu::platform::windows {
namespace {

TEST(SystemDeviceSearch, ReadsEveryInterfaceFindsNoDeviceAndLeavesNothingOpen) {
    WindowsPlatform platform(systemWindowsApi());
    for (const auto& entry : platform.enumerateInterfaces()) {
        SCOPED_TRACE(entry.path);
        ASSERT_FALSE(entry.path.empty());
        const auto ids = platform.attributesWithoutOpening(entry.path);
        ASSERT_TRUE(ids);
        const auto opened = platform.open(entry.path, OpenMode::Plain);
        if (!opened.handle)
            continue;  // held by the system, as keyboards are on Windows
        EXPECT_EQ(platform.attributes(*opened.handle), ids);
        EXPECT_TRUE(platform.capabilities(*opened.handle));
        EXPECT_TRUE(platform.close(*opened.handle));
    }
    EXPECT_NE(dynamic_cast<WindowsPlatform*>(makeSystemPlatform().get()), nullptr);
    device::DeviceLink link(platform);
    EXPECT_FALSE(link.findTheHid());
    EXPECT_FALSE(link.permissionDenied());
    EXPECT_EQ(platform.openHandleCount(), 0);
}

}  // namespace
}  // namespace fwu::platform::windows
