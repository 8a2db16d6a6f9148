#include <filesystem>

#include "firmware/messages.h"
#include "window/window_files.h"
#include "window/window_texts.h"
#include "window_fixture.h"

namespace fwu::window::testing {
namespace {

using Captions = std::array<std::string, 4>;  // lblManuf, lblProduct, lblVersion, lblSerialNumber

TEST(WindowStartup, EachStartShowsItsCaptionsAndBoxesThenClosesTheDevice) {
    const Captions found{" Simulated Devices", " Firmware Update Test Device", " 1.5",
                         " SIM-000001"};
    const MessageBoxRequest missing{MessageIcon::Critical, "File Error", "Cannot find Velnor.bin"};
    const MessageBoxRequest forbidden{MessageIcon::Warning, "Firmware Update",
                                      firmware::messages::permissionDenied()};
    const auto asIs = [](DeviceConfig&) {};
    const auto version = [](DeviceConfig& d) { d.versionNumber = 0x010A; };
    const auto forbids = [](DeviceConfig& d) { d.faults.permissionDenied = true; };
    const platform::DeviceHolder holder{"firmware-update-cli", 4242};
    const auto held = [&](DeviceConfig& d) { d.faults.heldByAnotherProgram = holder; };
    enum Image { Missing, File, Folder };
    const struct {
        const char* name;
        double dpi;
        Image image;
        std::function<void(DeviceConfig&)> device;  // none when empty
        Captions captions;
        std::vector<MessageBoxRequest> boxes;
    } cases[] = {
        // The design is shown, then the box; the end follows and no device is touched.
        {"no image", 96, Missing, asIs, {}, {missing}},
        {"device", 96, File, asIs, found, {}},
        // The version's text has its own table with the device layer; here it reaches its label.
        {"Velnor.bin a folder", 120, Folder, version, {found[0], found[1], " 1.A", found[3]}, {}},
        {"no device", 72, File, nullptr, {}, {}},
        {"a device this user may not open", 144, File, forbids, {}, {forbidden}},
        {"a device another program holds",
         96,
         File,
         held,
         {},
         {texts::deviceInUse("sim:hid0", holder)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        if (c.image == File)
            writeFile(rig.path("Velnor.bin"), imageBytes(80));
        if (c.image == Folder)
            std::filesystem::create_directory(rig.path("Velnor.bin"));
        if (c.device)
            rig.addDevice(c.device);
        FakeView& view = rig.view;

        rig.start(c.dpi).activate();  // a second activation has nothing to do
        EXPECT_EQ((Captions{view[lblManuf].caption, view[lblProduct].caption,
                            view[lblVersion].caption, view[lblSerialNumber].caption}),
                  c.captions);
        const bool usable = !c.captions[0].empty();
        EXPECT_EQ(view[Command3].enabled, usable);
        EXPECT_EQ(view.focus == Command3, usable);
        EXPECT_FALSE(view[Pic].visible);
        EXPECT_EQ(view.boxes, c.boxes);
        EXPECT_EQ(view.designStateAtBox, !c.boxes.empty()) << "the window is shown meanwhile";
        const bool ends = c.image == Missing;
        EXPECT_EQ(view.shown, !ends);
        if (ends) {
            EXPECT_EQ(rig.bus.openCount() + rig.bus.transcript().size(), 0u);
        }
        // 5055 twips are no whole number of pixels at 120 DPI (421.25) or 72 DPI (252.75): the
        // full width is measured in twips, never read back from pixels.
        EXPECT_EQ(rig.window->progressFullWidth(), ends ? 0 : 5055);
        EXPECT_TRUE(rig.window->closeRequested());
        EXPECT_EQ(rig.bus.openHandleCount(), 0) << "closing the window closes the device";
    }
}

// A folder given with --folder holds every file, and the messages name them as given; a folder
// that is not there, or a file in its place, stops the start with a message naming it.
TEST(WindowStartup, TakesEveryFileFromAGivenFolderThatExists) {
    firmware::testing::TempFolder program, given;
    writeFile(given.path() / "plain file", imageBytes(40));
    std::string problem;
    const auto files = windowFiles(given.path(), program.path(), problem);
    ASSERT_TRUE(files);
    EXPECT_EQ(files->dumpFile(), given.path() / "Ombrel.bin");
    EXPECT_EQ(files->downloadImage().parent_path(), given.path());
    EXPECT_EQ(files->updateImageOrigin(), firmware::FileOrigin::Given);
    EXPECT_EQ(windowFiles(std::nullopt, program.path(), problem)->updateImage(),
              program.path() / "Velnor.bin");
    for (const auto& absent : {given.path() / "absent", given.path() / "plain file"}) {
        EXPECT_FALSE(windowFiles(absent, program.path(), problem));
        EXPECT_NE(problem.find(absent.filename().string()), std::string::npos) << problem;
    }
}

}  // namespace
}  // namespace fwu::window::testing
