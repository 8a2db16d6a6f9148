#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <filesystem>

#include "window_fixture.h"

namespace fwu::app::testing {
namespace {

using platform::simulated::DeviceConfig;
using platform::simulated::utf16Bytes;

struct Captions {
    QString manufacturer, product, version, serialNumber;
};

Captions captionsOf(const FrmMain& window) {
    return {control<QLabel>(window, "lblManuf").text(),
            control<QLabel>(window, "lblProduct").text(),
            control<QLabel>(window, "lblVersion").text(),
            control<QLabel>(window, "lblSerialNumber").text()};
}

class WindowStartup : public WindowTest {};

TEST_F(WindowStartup, MissingImageShowsTheDesignThenTheFileErrorAndEndsWithoutTouchingADevice) {
    addDevice();
    const auto window = makeWindow();
    bool shownInDesignState = false;
    messages_.whilePresented = [&](const MessageBoxRequest&) {
        shownInDesignState = window->isVisible() && control<QFrame>(*window, "Pic").isHidden() &&
                             !control<QPushButton>(*window, "Command3").isEnabled() &&
                             control<QLabel>(*window, "lblManuf").text().isEmpty();
    };
    QSignalSpy unloaded(window.get(), &FrmMain::unloaded);

    window->start();
    EXPECT_TRUE(messages_.shown.empty()) << "the box waits for the activation";
    QCoreApplication::processEvents();

    ASSERT_EQ(messages_.shown.size(), 1u);
    const MessageBoxRequest& box = messages_.shown[0];
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.title, "File Error");
    EXPECT_EQ(box.text, "Cannot find Velnor.bin");
    EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_TRUE(shownInDesignState);
    EXPECT_EQ(unloaded.count(), 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(bus_.openCount(), 0);
    EXPECT_TRUE(bus_.transcript().empty());
}

TEST_F(WindowStartup, ImagePresentFindsTheDeviceAndShowsItsIdentity) {
    enum class Image { File, Folder };
    // The version's text has its own table with the device layer; here it reaches its caption.
    const struct {
        const char* name;
        Image image;
        bool device;
        std::uint16_t version;
        Captions expected;
    } cases[] = {
        {"device, version 0x0105",
         Image::File,
         true,
         0x0105,
         {" Simulated Devices", " Firmware Update Test Device", " 1.5", " SIM-000001"}},
        {"a folder named Velnor.bin",
         Image::Folder,
         true,
         0x010A,
         {" Simulated Devices", " Firmware Update Test Device", " 1.A", " SIM-000001"}},
        {"no device", Image::File, false, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(path("Velnor.bin"));
        if (c.image == Image::File)
            writeFile("Velnor.bin", patternBytes(80));
        else
            std::filesystem::create_directory(path("Velnor.bin"));
        std::string device;
        if (c.device) {
            DeviceConfig config;
            config.versionNumber = c.version;
            device = addDevice(config);
        }

        auto window = startWindow();
        const Captions shown = captionsOf(*window);
        EXPECT_EQ(shown.manufacturer, c.expected.manufacturer);
        EXPECT_EQ(shown.product, c.expected.product);
        EXPECT_EQ(shown.version, c.expected.version);
        EXPECT_EQ(shown.serialNumber, c.expected.serialNumber);
        auto& update = control<QPushButton>(*window, "Command3");
        EXPECT_EQ(update.isEnabled(), c.device);
        EXPECT_EQ(window->focusWidget() == &update, c.device);
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(control<QFrame>(*window, "Pic").isHidden());
        EXPECT_TRUE(messages_.shown.empty());

        window->close();
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(bus_.openHandleCount(), 0) << "closing the window closes the device";
        window.reset();
        if (c.device)
            bus_.unplug(device);
    }
}

TEST_F(WindowStartup, SaysOnceThatADeviceCouldNotBeOpenedForLackOfPermission) {
    writeFile("Velnor.bin", patternBytes(80));
    DeviceConfig config;
    config.faults.permissionDenied = true;
    addDevice(config);

    const auto window = startWindow();
    QCoreApplication::processEvents();
    window->hide();
    window->show();
    QCoreApplication::processEvents();

    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(messages_.shown[0].text.startsWith(
        "A device was found but cannot be opened: permission denied. "));
    EXPECT_FALSE(control<QPushButton>(*window, "Command3").isEnabled());
    EXPECT_TRUE(window->isVisible());
}

}  // namespace
}  // namespace fwu::app::testing
