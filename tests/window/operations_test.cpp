#include <filesystem>

#include "device/protocol.h"
#include "firmware/messages.h"
#include "firmware/sleep_guard.h"
#include "tests/firmware/fake_sleep_inhibitor.h"
#include "window/window_texts.h"
#include "window_fixture.h"

namespace fwu::window::testing {
namespace {

constexpr std::uint8_t Start = protocol::StartCommand, Erase = protocol::EraseCommand,
                       Record = protocol::WriteRecordCommand, Finish = protocol::FinishCommand,
                       Magic = protocol::EnterBootloaderMagic[0];
const std::vector<std::uint8_t> WholeUpdate{Start, Erase, Record, Record, Record, Finish};

const firmware::testing::Bytes BootloaderImage = imageBytes(120, 2);
// A bootloader record report carries its record from position 1.
const std::vector<std::uint8_t> BootloaderRecords{BootloaderImage[0], BootloaderImage[40],
                                                  BootloaderImage[80]};

// The window on a device, with an 80-byte Velnor.bin (three records, the last one empty) and a
// Zembrix.bin of three bootloader records; the start-up's reports and fill steps left out.
MainWindow& startOn(WindowRig& rig, const std::function<void(DeviceConfig&)>& change) {
    writeFile(rig.path("Velnor.bin"), imageBytes(80));
    writeFile(rig.path("Zembrix.bin"), BootloaderImage);
    rig.addDevice(change);
    rig.start();
    rig.bus.clearTranscript();
    rig.view.fill.clear();
    return *rig.window;
}

// The bytes the operations send are checked with the operations; here, that each button runs
// its own operation, with the fill driven as it goes, the buttons locked and the window left as
// the operation says. A close in the first pass over the events comes after clicks on every
// button, which start nothing: stopping an operation that writes firmware is asked first, the
// dump and the upgrade's wait stop without asking, and the window closes once the operation
// has returned.
TEST(WindowOperations, EachButtonRunsItsOperationAndACloseStopsItAsItsKindRequires) {
    const MessageBoxRequest question{
        MessageIcon::Warning, "Firmware Update",
        "Firmware is being written to the device. Closing now can leave it unusable. Close anyway?",
        MessageButtons::YesNo, MessageAnswer::No};
    const MessageBoxRequest rejected{MessageIcon::Critical, "Firmware Update",
                                     firmware::messages::updateRecordRejected(2, 3)};
    const auto& r = BootloaderRecords;
    const std::vector<std::uint8_t> upToRecord1{Start, Erase, Record},
        upToRecord2{Start, Erase, Record, Record};
    // At 96 DPI the fill starts at pixel 12: its right edge is (180 + twips) / 15 rounded. The
    // download counts the read that meets the end of the file, 4, and stops at 3 of 4.
    const std::vector<int> fullBar{0, 112, 225, 337, 0}, download{0, 84, 169, 253}, cut{0, 112, 0};
    constexpr auto No = MessageAnswer::No, Yes = MessageAnswer::Yes, Ok = MessageAnswer::Ok;
    const auto asIs = [](DeviceConfig&) {};
    const auto inBootloader = [](DeviceConfig& d) { d.mode = simulator::DeviceMode::Bootloader; };
    const auto rejectsRecord2 = [](DeviceConfig& d) { d.faults.failTransfersFrom = 3; };
    const auto neverBack = [](DeviceConfig& d) { d.reenumerationDelay.reset(); };
    const struct {
        const char* name;
        ControlId button;
        std::function<void(DeviceConfig&)> device;
        std::optional<MessageAnswer> closeDuring;  // and the answer to a question
        std::vector<std::uint8_t> commands;
        std::size_t blockReads;
        std::vector<int> fill;  // pixel widths; a dump block's 32 advances are one step
        std::vector<MessageBoxRequest> boxes;
        bool ends;
    } cases[] = {
        {"erase chip", Command5, asIs, {}, {Erase}, 0, {}, {}, false},
        {"bootloader entry", Command6, asIs, {}, {Magic}, 0, {}, {}, false},
        {"dump", Command1, asIs, {}, {Start}, 4, fullBar, {}, false},
        {"download", Command2, inBootloader, {}, r, 0, download, {}, true},
        {"upgrade", Command4, asIs, {}, {Magic, r[0], r[1], r[2]}, 0, download, {}, true},
        {"record 2 rejected", Command3, rejectsRecord2, {}, upToRecord2, 0, cut, {rejected}, false},
        {"update closed, No", Command3, asIs, No, WholeUpdate, 0, fullBar, {question}, false},
        // Stopped at the next report.
        {"update closed, Yes", Command3, asIs, Yes, upToRecord1, 0, cut, {question}, true},
        {"dump closed in block 1", Command1, asIs, Ok, {Start}, 1, {0}, {}, true},
        {"upgrade closed, device never back", Command4, neverBack, Ok, {Magic}, 0, {}, {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        FakeView& view = rig.view;
        MainWindow& window = startOn(rig, c.device);
        view.setCaption(Text1, "earlier");
        if (c.closeDuring) {
            view.answer = c.closeDuring;
            view.duringFirstPass = [&window] {
                for (const ControlId button : OperationButtons)
                    window.click(button);
                EXPECT_FALSE(window.closeRequested());
            };
        }
        window.click(c.button);

        EXPECT_EQ(rig.commandsSent(), c.commands);
        EXPECT_EQ(std::ranges::count(rig.bus.transcript(), Direction::DeviceToHost,
                                     &simulator::TranscriptEntry::direction),
                  c.blockReads);
        std::vector<int> fill;
        for (const FillStep& step : view.fill) {
            fill.push_back(step.pixels);
            EXPECT_EQ(step.repaint, step.pixels > 0 ? Repaint::Now : Repaint::Later);
            EXPECT_FALSE(step.anyButtonEnabled);
        }
        EXPECT_EQ(fill, c.fill);
        EXPECT_EQ(view.boxes, c.boxes);
        // The dump empties Text1 as it starts and says "Done" when it has finished.
        EXPECT_EQ(view[Text1].caption, c.button == Command1 ? (c.ends ? "" : "Done") : "earlier");
        EXPECT_EQ(std::filesystem::exists(rig.path("Ombrel.bin")), c.blockReads == 4);
        EXPECT_EQ(view.closes, c.ends ? 1 : 0);
        if (!c.ends) {  // as it was, the focus where it was, unless the update retired its button
            EXPECT_EQ(view[Command3].enabled, c.button != Command3);
            EXPECT_EQ(view.focus == Command3, c.button != Command3);
            for (const ControlId hidden : {Command1, Command2, Command4, Command5, Command6, Text1})
                EXPECT_TRUE(view[hidden].enabled && !view[hidden].visible);
            EXPECT_EQ(view[Pic].visible, !c.fill.empty());
        }
        if (c.commands == WholeUpdate) {
            EXPECT_EQ(view[lblProduct].caption + view[lblVersion].caption, "");
        }
        EXPECT_TRUE(window.closeRequested());
        EXPECT_EQ(rig.bus.openHandleCount(), 0);
    }
}

// A click while another program holds the device says so and sends nothing; once that program
// has let go, the next click takes the device.
TEST(WindowOperations, AButtonRefusesADeviceThatAnotherProgramHoldsUntilItIsLetGo) {
    WindowRig rig;
    const platform::DeviceHolder holder{"station", 77};
    MainWindow& window =
        startOn(rig, [&](DeviceConfig& d) { d.faults.heldByAnotherProgram = holder; });
    window.click(Command5);
    EXPECT_TRUE(rig.commandsSent().empty());
    EXPECT_EQ(rig.view.boxes.back(),
              texts::operationError(firmware::messages::deviceInUse("sim:hid0", holder)));
    rig.bus.config("sim:hid0").faults.heldByAnotherProgram.reset();
    window.click(Command5);
    EXPECT_EQ(rig.commandsSent(), std::vector<std::uint8_t>{Erase});
}

// The checksum file beside each image is read at each click, and an image that does not match it
// is refused in a box that names it, with nothing sent.
TEST(WindowOperations, AnImageUnlikeItsChecksumFileIsRefusedWithNothingSent) {
    const std::string velnor = "e59247593ba48861be7c38fb7c9ee093682d4e7576b9968400e83c3dd6a0307b";
    const std::string zembrix = "17eb8960823a644bde3065620bb9d45931fe8993fd8eb692a17aff0fd725db6a";
    const std::string other(64, 'f');
    const struct {
        ControlId button;
        const char* file;
        std::string content;  // "": a folder there
        const char* says;     // in the box; "": no box, the whole operation sent
    } cases[] = {
        {Command3, "Velnor.bin.sha256", velnor + "  Velnor.bin\n", ""},
        {Command3, "Velnor.bin.sha256", other + "  Velnor.bin\n", "its SHA-256 is e5924759"},
        {Command3, "Velnor.bin.sha256", velnor + "  Zembrix.bin\n", "is for Zembrix.bin, not for"},
        {Command3, "Velnor.bin.sha256", velnor.substr(2) + "  Velnor.bin\n", "not in the form"},
        {Command3, "Velnor.bin.sha256", "", "cannot be read"},
        {Command2, "Zembrix.bin.sha256", zembrix + " *Zembrix.bin", ""},
        {Command2, "Zembrix.bin.sha256", other + "  Zembrix.bin", "gives ffffffff"},
        {Command4, "Zembrix.bin.sha256", other + "  Zembrix.bin", "gives ffffffff"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        WindowRig rig;
        MainWindow& window = startOn(rig, [&](DeviceConfig& d) {
            if (c.button == Command2)
                d.mode = simulator::DeviceMode::Bootloader;
        });
        if (c.content.empty())
            std::filesystem::create_directory(rig.path(c.file));
        else
            writeFile(rig.path(c.file), {c.content.begin(), c.content.end()});

        window.click(c.button);

        EXPECT_EQ(rig.commandsSent().empty(), *c.says != '\0');
        ASSERT_EQ(rig.view.boxes.size(), *c.says ? 1u : 0u);
        if (*c.says) {
            EXPECT_EQ(rig.view.boxes[0].icon, MessageIcon::Critical);
            EXPECT_NE(rig.view.boxes[0].text.find(c.says), std::string::npos)
                << rig.view.boxes[0].text;
        }
    }
}

// Where the system will not stay awake, the update is written all the same, and the window says
// so in its status text: a box would stop the write until it was answered.
TEST(WindowOperations, AnUpdateTheSystemWillNotStayAwakeForSaysSoWithoutABox) {
    firmware::testing::SleepRecord sleep;
    sleep.refusal = "logind: Access denied";
    firmware::SleepGuard guard(std::make_unique<firmware::testing::FakeSleepInhibitor>(sleep));
    WindowRig rig;
    rig.settings.operations.sleepGuard = &guard;
    MainWindow& window = startOn(rig, [](DeviceConfig&) {});

    window.click(Command3);

    EXPECT_EQ(rig.commandsSent(), WholeUpdate);
    EXPECT_TRUE(rig.view.boxes.empty());
    EXPECT_EQ(rig.view[Text1].caption,
              firmware::messages::sleepNotPrevented("logind: Access denied"));
}

}  // namespace
}  // namespace fwu::window::testing
