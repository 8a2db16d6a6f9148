#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "device/protocol.h"
#include "window_fixture.h"

namespace fwu::app::testing {
namespace {

using platform::simulated::DeviceConfig;
using platform::simulated::DeviceMode;
using platform::simulated::Direction;
using platform::simulated::TranscriptEntry;

class HiddenButtons : public WindowTest {
  protected:
    HiddenButtons() { writeFile("Velnor.bin", patternBytes(80)); }

    // The bytes of every report the host sent since the start-up.
    std::vector<std::vector<std::uint8_t>> reportsSent() const {
        std::vector<std::vector<std::uint8_t>> reports;
        for (const TranscriptEntry& entry : bus_.transcript()) {
            if (entry.direction == Direction::HostToDevice)
                reports.push_back(entry.bytes);
        }
        return reports;
    }
};

std::vector<std::uint8_t> report(std::initializer_list<std::uint8_t> head) {
    std::vector<std::uint8_t> bytes(DeviceConfig{}.featureReportLength, 0);
    std::copy(head.begin(), head.end(), bytes.begin());
    return bytes;
}

TEST_F(HiddenButtons, ServiceCommandsSendOneReportAndLeaveTheWindowAsItWas) {
    const auto magic = protocol::EnterBootloaderMagic;
    const struct {
        const char* button;
        std::vector<std::uint8_t> sent;
    } cases[] = {
        {"Command5", report({0, protocol::EraseCommand, 0, 0, 0})},
        {"Command6", report({0, magic[0], magic[1], magic[2], 0})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        const std::string device = addDevice();
        const auto window = startWindow();
        bus_.clearTranscript();
        auto& button = control<QPushButton>(*window, c.button);
        button.click();

        EXPECT_EQ(reportsSent(), std::vector<std::vector<std::uint8_t>>{c.sent});
        EXPECT_TRUE(button.isHidden());
        EXPECT_TRUE(button.isEnabled());
        EXPECT_TRUE(control<QPushButton>(*window, "Command3").isEnabled());
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(messages_.shown.empty());
        bus_.unplug(device);
    }
}

TEST_F(HiddenButtons, DumpReadsTheFlashIntoOmbrelAndSaysDone) {
    DeviceConfig config;
    config.initialFlash = patternBytes(256, 9);
    addDevice(config);
    const auto window = startWindow();
    auto& status = control<QLineEdit>(*window, "Text1");
    status.setText("earlier");
    control<QPushButton>(*window, "Command1").click();

    EXPECT_EQ(status.text(), "Done");
    EXPECT_TRUE(status.isHidden());
    std::ifstream dump(path("Ombrel.bin"), std::ios::binary);
    const std::vector<std::uint8_t> contents{std::istreambuf_iterator<char>(dump), {}};
    const auto blocks = testOptions().operations.dumpBlockCount;
    const auto expected = patternBytes(256, 9);
    ASSERT_EQ(contents.size(), blocks * protocol::BlockSize);
    EXPECT_TRUE(std::equal(contents.begin(), contents.end(), expected.begin()));
    EXPECT_TRUE(control<QPushButton>(*window, "Command1").isEnabled());
    EXPECT_TRUE(control<QPushButton>(*window, "Command3").isEnabled());
    EXPECT_TRUE(window->isVisible());
}

// Both write Zembrix.bin into the bootloader and end the program.
TEST_F(HiddenButtons, DownloadAndUpgradeEndTheProgram) {
    const struct {
        const char* button;
        DeviceMode startMode;
        std::uint64_t bootloaderEntries;
    } cases[] = {
        {"Command2", DeviceMode::Bootloader, 0},
        {"Command4", DeviceMode::Application, 1},
    };
    const auto image = patternBytes(120, 3);
    writeFile("Zembrix.bin", image);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        DeviceConfig config;
        config.mode = c.startMode;
        const std::string device = addDevice(config);
        const auto window = startWindow();
        QSignalSpy unloaded(window.get(), &FrmMain::unloaded);
        control<QPushButton>(*window, c.button).click();

        const auto state = bus_.state(device);
        EXPECT_EQ(state.enterBootloaderCount, c.bootloaderEntries);
        EXPECT_EQ(state.bootloaderImage, image);
        EXPECT_EQ(unloaded.count(), 1);
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(bus_.openHandleCount(), 0);
        EXPECT_TRUE(messages_.shown.empty());
        bus_.unplug(device);
    }
}

TEST_F(HiddenButtons, ClosingDuringTheDumpOrTheUpgradesWaitStopsWithoutAsking) {
    writeFile("Zembrix.bin", patternBytes(120, 3));
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
        for (const TranscriptEntry& entry : bus_.transcript())
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
