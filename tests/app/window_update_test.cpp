#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

#include "app/progress_bar.h"
#include "device/protocol.h"
#include "firmware/messages.h"
#include "window_fixture.h"

namespace fwu::app::testing {
namespace {

using platform::simulated::DeviceConfig;

struct BarStep {
    float twips;
    int pixels;
    bool visible;
    bool anyButtonEnabled;
};

const char* const OperationButtons[] = {"Command1", "Command2", "Command3",
                                        "Command4", "Command5", "Command6"};

bool anyOperationButtonEnabled(const FrmMain& window) {
    for (const char* name : OperationButtons) {
        if (control<QPushButton>(window, name).isEnabled())
            return true;
    }
    return false;
}

// The window with a device and an 80-byte Velnor.bin: three records, the last one empty.
class WindowUpdate : public WindowTest {
  protected:
    WindowUpdate() {
        writeFile("Velnor.bin", patternBytes(80));
        device_ = addDevice();
    }

    std::unique_ptr<FrmMain> startRecording(WindowOptions options = testOptions()) {
        auto window = startWindow(options);
        auto& pic = control<QFrame>(*window, "Pic");
        QObject::connect(&window->progressBar(), &ProgressBar::widthSet, window.get(),
                         [this, &pic, &window = *window](float twips) {
                             steps_.push_back({twips, pic.width(), pic.isVisible(),
                                               anyOperationButtonEnabled(window)});
                         });
        bus_.clearTranscript();
        return window;
    }

    std::string device_;
    std::vector<BarStep> steps_;
};

constexpr std::uint8_t Start = protocol::StartCommand, Erase = protocol::EraseCommand,
                       Record = protocol::WriteRecordCommand, Finish = protocol::FinishCommand;

TEST_F(WindowUpdate, ClickWritesTheImageWhileTheBarGrowsThenRetiresTheButton) {
    const auto window = startRecording();
    control<QPushButton>(*window, "Command3").click();

    // At 96 DPI the fill starts at pixel 12: its right edge is (180 + width) / 15 rounded.
    const std::vector<std::pair<float, int>> expected{
        {0.0f, 0}, {1685.0f, 112}, {3370.0f, 225}, {5055.0f, 337}, {0.0f, 0}};
    ASSERT_EQ(steps_.size(), expected.size());
    for (std::size_t index = 0; index < expected.size(); ++index) {
        EXPECT_FLOAT_EQ(steps_[index].twips, expected[index].first) << index;
        EXPECT_EQ(steps_[index].pixels, expected[index].second) << index;
        EXPECT_TRUE(steps_[index].visible) << index;
        EXPECT_FALSE(steps_[index].anyButtonEnabled) << index;
    }

    EXPECT_EQ(commandsSent(),
              (std::vector<std::uint8_t>{Start, Erase, Record, Record, Record, Finish}));
    EXPECT_TRUE(bus_.state(device_).finishedComplete);

    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(control<QFrame>(*window, "Pic").isHidden());
    EXPECT_FALSE(control<QPushButton>(*window, "Command3").isEnabled());
    for (const char* hidden : {"Command1", "Command2", "Command4", "Command5", "Command6"}) {
        EXPECT_TRUE(control<QPushButton>(*window, hidden).isEnabled()) << hidden;
        EXPECT_TRUE(control<QPushButton>(*window, hidden).isHidden()) << hidden;
    }
    EXPECT_EQ(control<QLabel>(*window, "lblProduct").text(), "");
    EXPECT_EQ(control<QLabel>(*window, "lblVersion").text(), "");
    EXPECT_EQ(control<QLabel>(*window, "lblManuf").text(), " Simulated Devices");
    EXPECT_EQ(control<QLabel>(*window, "lblSerialNumber").text(), " SIM-000001");
    EXPECT_EQ(bus_.openHandleCount(), 0);
    EXPECT_TRUE(messages_.shown.empty());
}

// The first pass over the events inside the update delivers clicks on every operation button.
TEST_F(WindowUpdate, ClicksDuringTheUpdateStartNothing) {
    const auto window = startRecording();
    for (const char* button : {"Command3", "Command1", "Command5", "Command6", "Command2"}) {
        QMetaObject::invokeMethod(&control<QPushButton>(*window, button), "click",
                                  Qt::QueuedConnection);
    }
    control<QPushButton>(*window, "Command3").click();

    EXPECT_EQ(commandsSent(),
              (std::vector<std::uint8_t>{Start, Erase, Record, Record, Record, Finish}));
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(WindowUpdate, ClosingDuringTheUpdateAsksFirst) {
    const struct {
        const char* name;
        QMessageBox::StandardButton answer;
        std::vector<std::uint8_t> commands;
        bool windowOpen;
    } cases[] = {
        {"No: the update goes on",
         QMessageBox::No,
         {Start, Erase, Record, Record, Record, Finish},
         true},
        {"Yes: it stops at the next report", QMessageBox::Yes, {Start, Erase, Record}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        messages_.shown.clear();
        messages_.answer = c.answer;
        const auto window = startRecording();
        QSignalSpy unloaded(window.get(), &FrmMain::unloaded);
        QMetaObject::invokeMethod(window.get(), "close", Qt::QueuedConnection);
        control<QPushButton>(*window, "Command3").click();

        ASSERT_EQ(messages_.shown.size(), 1u) << "nothing but the question";
        const MessageBoxRequest& question = messages_.shown[0];
        EXPECT_EQ(question.title, "Firmware Update");
        EXPECT_EQ(question.text,
                  "Firmware is being written to the device. Closing now can leave it unusable. "
                  "Close anyway?");
        EXPECT_EQ(question.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(question.defaultButton, QMessageBox::No);
        EXPECT_EQ(commandsSent(), c.commands);
        EXPECT_EQ(window->isVisible(), c.windowOpen);
        EXPECT_EQ(unloaded.count(), c.windowOpen ? 0 : 1);
        EXPECT_EQ(bus_.openHandleCount(), 0);
    }
}

TEST_F(WindowUpdate, ARejectedRecordIsACriticalBoxWithTheOperationsText) {
    DeviceConfig config;
    config.faults.failTransfersFrom = 3;  // start, erase, record 1 pass; record 2 fails
    bus_.unplug(device_);
    addDevice(config);
    const auto window = startRecording();
    control<QPushButton>(*window, "Command3").click();

    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].icon, QMessageBox::Critical);
    EXPECT_EQ(messages_.shown[0].title, "Firmware Update");
    EXPECT_EQ(messages_.shown[0].text,
              QString::fromStdString(firmware::messages::updateRecordRejected(2, 3)));
    EXPECT_EQ(commandsSent(), (std::vector<std::uint8_t>{Start, Erase, Record, Record}));
    EXPECT_FALSE(control<QPushButton>(*window, "Command3").isEnabled());
    EXPECT_TRUE(window->isVisible());
}

}  // namespace
}  // namespace fwu::app::testing
