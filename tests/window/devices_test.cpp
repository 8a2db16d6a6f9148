#include "window/window_texts.h"
#include "window_fixture.h"

namespace fwu::window::testing {
namespace {

using namespace std::chrono_literals;
using simulator::utf16Bytes;

constexpr std::string_view NoDevice = "No device found. Connect the device to this computer.";

DeviceConfig device(const char16_t* serial, std::chrono::milliseconds arrives = 0ms,
                    std::optional<std::chrono::milliseconds> leaves = {}) {
    DeviceConfig config;
    config.serialNumber = utf16Bytes(serial);
    config.arrivesAt = arrives;
    config.leavesAt = leaves;
    config.latencyPerTransfer = 1ms;
    return config;
}

// The devices come and go on the bus's schedule while the window runs; "Update Firmware" is
// pressed when the time given has passed. The window then shows the values of the device it
// holds, or says in their place why there is none to update.
TEST(WindowDevices, TakesADeviceThatArrivesAndLetsGoOfOneThatLeaves) {
    const MessageBoxRequest forbidden = texts::permissionDenied();
    const auto bootloader = [] {
        DeviceConfig config = device(u"BOOT");
        config.mode = simulator::DeviceMode::Bootloader;
        return config;
    };
    const auto forbids = [] {
        DeviceConfig config = device(u"LOCKED", 500ms);
        config.faults.permissionDenied = true;
        return config;
    };
    const auto held = [] {
        DeviceConfig config = device(u"HELD", 500ms);
        config.faults.heldByAnotherProgram = platform::DeviceHolder{"station", 77};
        return config;
    };
    const struct {
        const char* name;
        std::vector<DeviceConfig> devices;
        std::optional<std::chrono::milliseconds> updateAt;
        std::string_view statusAtStart;  // empty: the values show
        std::string shown;               // the serial number shown at the end, or
        std::string_view status;         // what shows in place of the values
        std::size_t boxes;
    } cases[] = {
        {"arrives after start-up", {device(u"A", 1000ms)}, {}, NoDevice, " A", {}, 0},
        {"leaves while held", {device(u"A", 0ms, 1000ms)}, {}, {}, {}, NoDevice, 0},
        {"in bootloader mode",
         {bootloader()},
         {},
         texts::DeviceInBootloaderMode,
         {},
         texts::DeviceInBootloaderMode,
         0},
        {"arrives, may not be opened", {forbids()}, {}, NoDevice, {}, texts::DeviceNotPermitted, 1},
        {"arrives held by another program", {held()}, {}, NoDevice, {}, texts::DeviceInUse, 0},
        // The device updated is not taken again while it stays; the next one that arrives is.
        {"stays after its update", {device(u"A")}, 100ms, {}, {}, texts::DeviceUpdateEnded, 0},
        {"arrives after an update", {device(u"A"), device(u"B", 2000ms)}, 100ms, {}, " B", {}, 0},
        {"waits while another is held",
         {device(u"A", 0ms, 3000ms), device(u"B")},
         100ms,
         {},
         " B",
         {},
         0},
        // The update fails at the departure with its message; the window then has no device.
        {"leaves during an update", {device(u"A", 0ms, 150ms)}, 100ms, {}, {}, NoDevice, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        rig.settings.eventInterval = 0ms;  // every pass an operation asks for is made
        writeFile(rig.path("Velnor.bin"), imageBytes(4000));  // 101 records, about 0.1 s
        for (const DeviceConfig& config : c.devices)
            rig.bus.addDevice(config);
        FakeView& view = rig.view;
        MainWindow& window = rig.start();
        EXPECT_EQ(view[lblStatus].visible ? view[lblStatus].caption : "", c.statusAtStart);

        if (c.updateAt) {
            rig.passTime(*c.updateAt);
            window.click(Command3);
        }
        rig.passTime(5000ms);

        const bool holds = !c.shown.empty();
        EXPECT_EQ(view[lblSerialNumber].visible ? view[lblSerialNumber].caption : "", c.shown);
        EXPECT_EQ(view[lblStatus].visible ? view[lblStatus].caption : "", c.status);
        for (const ControlId value : {lblManuf, lblProduct, lblVersion, lblSerialNumber}) {
            EXPECT_EQ(view[value].visible, c.status.empty());
            EXPECT_TRUE(c.status != NoDevice || view[value].caption.empty()) << "none left";
        }
        EXPECT_EQ(view[Command3].enabled, holds);
        EXPECT_EQ(view.focus == Command3, holds);
        EXPECT_EQ(view.boxes.size(), c.boxes);
        if (c.boxes == 1 && c.status == texts::DeviceNotPermitted) {
            EXPECT_EQ(view.boxes[0], forbidden);
        }
        EXPECT_EQ(rig.bus.openHandleCount(),
                  holds || c.status == texts::DeviceInBootloaderMode ? 2 : 0);
        EXPECT_TRUE(window.closeRequested());
        window.devicesChanged();  // a notification after the close changes nothing
        EXPECT_EQ(rig.bus.openHandleCount(), 0);
    }
}

// Assistive technology hears the fill's width as a percentage while the update writes.
TEST(WindowDevices, TellsTheFillsProgressAsItRises) {
    WindowRig rig;
    writeFile(rig.path("Velnor.bin"), imageBytes(80));  // three records, the last one empty
    rig.addDevice([](DeviceConfig&) {});
    rig.start().click(Command3);
    EXPECT_EQ(rig.view.fillValues, (std::vector<int>{33, 67, 100, 0}));
}

}  // namespace
}  // namespace fwu::window::testing
