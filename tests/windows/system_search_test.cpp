// The backend over the real SetupAPI and HID.dll of the system it runs on (Wine in CI). Wine
// presents HID interfaces of its own (a virtual mouse and keyboard) or none; none of them is a
// supported device.
#include <gtest/gtest.h>

#include "device/device_link.h"
#include "platform/windows/system_library.h"
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

// planted.dll is built next to this test program: it is never loaded, only the system folder's
// DLLs are. What is missing is named to the person; an optional function may be missing.
TEST(SystemLibrary, LoadsFromTheSystemFolderOnlyAndNamesWhatIsMissing) {
    const std::tuple<const wchar_t*, const char*, bool, std::string> cases[] = {
        {L"hid.dll", "HidD_GetAttributes", true, ""},
        {L"planted.dll", "Load", true, "planted.dll cannot be loaded from the system folder"},
        {L"hid.dll", "HidD_Missing", true, "hid.dll has no function HidD_Missing"},
        {L"hid.dll", "HidD_Missing", false, ""},
    };
    for (const auto& [file, function, required, problem] : cases) {
        SCOPED_TRACE(function);
        SystemLibrary library(file);
        const auto found = required ? library.required<void (*)()>(function)
                                    : library.optional<void (*)()>(function);
        EXPECT_EQ(found != nullptr, function == std::string("HidD_GetAttributes"));
        EXPECT_NE(library.problem().value_or("").find(problem), std::string::npos);
        EXPECT_EQ(library.problem().has_value(), !problem.empty());
    }
}

}  // namespace
}  // namespace fwu::platform::windows
