#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <filesystem>

#include "device/protocol.h"
#include "window_fixture.h"

namespace fwu::app::testing {
namespace {

using platform::simulated::DeviceConfig;
using platform::simulated::DeviceMode;
using platform::simulated::Direction;

class HiddenButtons : public WindowTest {
  protected:
    HiddenButtons() {
        writeFile("Velnor.bin", patternBytes(80));
        // Three bootloader records, starting with bytes 3, 27 and 51.
        writeFile("Zembrix.bin", patternBytes(120, 3));
    }
};

// The bytes the operations send are checked with the operations; here, that each hidden button
// runs its own operation and leaves the window as the operation says.
TEST_F(HiddenButtons, EachRunsItsOperationProgrammatically) {
    const auto magic = protocol::EnterBootloaderMagic[0];
    const struct {
        const char* button;
        DeviceMode mode;
        std::vector<std::uint8_t> commands;
        const char* status;    // Text1 afterwards; it holds "earlier" before
        std::size_t dumpSize;  // of Ombrel.bin; 0: none
        bool unloads;          // download and upgrade end the program
    } cases[] = {
        {"Command5", DeviceMode::Application, {protocol::EraseCommand}, "earlier", 0, false},
        {"Command6", DeviceMode::Application, {magic}, "earlier", 0, false},
        {"Command1", DeviceMode::Application, {protocol::StartCommand}, "Done", 4 * 32, false},
        {"Command2", DeviceMode::Bootloader, {3, 27, 51}, "earlier", 0, true},
        {"Command4", DeviceMode::Application, {magic, 3, 27, 51}, "earlier", 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        DeviceConfig config;
        config.mode = c.mode;
        const std::string device = addDevice(config);
        const auto window = startWindow();
        bus_.clearTranscript();
        QSignalSpy unloaded(window.get(), &FrmMain::unloaded);
        auto& status = control<QLineEdit>(*window, "Text1");
        status.setText("earlier");
        auto& button = control<QPushButton>(*window, c.button);
        button.click();

        EXPECT_EQ(commandsSent(), c.commands);
        EXPECT_EQ(status.text(), c.status);
        EXPECT_EQ(std::filesystem::exists(path("Ombrel.bin")), c.dumpSize > 0);
        if (c.dumpSize > 0) {
            EXPECT_EQ(std::filesystem::file_size(path("Ombrel.bin")), c.dumpSize);
        }
        EXPECT_EQ(unloaded.count(), c.unloads ? 1 : 0);
        EXPECT_EQ(window->isVisible(), !c.unloads);
        if (!c.unloads) {  // the window stays as it was
            EXPECT_TRUE(button.isHidden());
            EXPECT_TRUE(button.isEnabled());
            EXPECT_TRUE(status.isHidden());
            EXPECT_TRUE(control<QPushButton>(*window, "Command3").isEnabled());
        }
        EXPECT_TRUE(messages_.shown.empty());
        window->close();
        EXPECT_EQ(bus_.openHandleCount(), 0);
        std::filesystem::remove(path("Ombrel.bin"));
        bus_.unplug(device);
    }
}

TEST_F(HiddenButtons, ClosingDuringTheDumpOrTheUpgradesWaitStopsWithoutAsking) {
    const struct {
        const char* button;
        std::size_t blockReads;
    } cases[] = {
        {"Command1", 1},  // the close arrives in the pass after the first block
        {"Command4", 0},  // the device never comes back from the bootloader entry
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        DeviceConfig config;
        config.reenumerationDelay.reset();
        const std::string device = addDevice(config);
        const auto window = startWindow();
        bus_.clearTranscript();
        QSignalSpy unloaded(window.get(), &FrmMain::unloaded);
        QMetaObject::invokeMethod(window.get(), "close", Qt::QueuedConnection);
        control<QPushButton>(*window, c.button).click();

        std::size_t blockReads = 0;
        for (const auto& entry : bus_.transcript())
            blockReads += entry.direction == Direction::DeviceToHost ? 1 : 0;
        EXPECT_EQ(blockReads, c.blockReads);
        EXPECT_TRUE(messages_.shown.empty());
        EXPECT_EQ(unloaded.count(), 1);
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(std::filesystem::exists(path("Ombrel.bin")));
        EXPECT_EQ(bus_.openHandleCount(), 0);
        bus_.unplug(device);
    }
}

}  // namespace
}  // namespace fwu::app::testing
