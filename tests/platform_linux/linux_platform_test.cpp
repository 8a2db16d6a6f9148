#include "platform/linux/linux_platform.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "device/protocol.h"
#include "tests/platform_linux/fake_system.h"

namespace fwu::platform::linux_hid {
namespace {

using testing::FakeHidrawIo;
using testing::FakeNode;
using testing::FakeSysfs;
using testing::FakeUsbDevice;
using testing::hidUevent;

constexpr std::uint16_t Vendor = protocol::VendorId;
constexpr std::uint16_t Application = protocol::ApplicationProductIds[0];
constexpr std::uint16_t Bootloader = protocol::BootloaderProductId;
constexpr std::uint16_t ForeignVendor = 0x1D6B;
constexpr std::uint16_t ForeignProduct = 0x0104;

// Vendor page, one unnumbered feature report of 64 bytes: a feature report length of 65.
const std::vector<std::uint8_t> DeviceDescriptor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
                                                    0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
                                                    0x95, 0x40, 0x09, 0x01, 0xB1, 0x02, 0xC0};

const FakeUsbDevice UsbDevice = {"7a5d", "0a11", "0105", "Acme Devices", "Widget \xC4\x80", "SN42"};

class LinuxPlatformTest : public ::testing::Test {
  protected:
    LinuxPlatform& platform() {
        if (!platform_) {
            platform_ = std::make_unique<LinuxPlatform>(sysfs_.roots(),
                                                        std::make_unique<FakeHidrawIo>(io_));
        }
        return *platform_;
    }

    void addNode(unsigned number, std::uint16_t vendor, std::uint16_t product, int openError = 0) {
        FakeNode node;
        node.openError = openError;
        node.info = RawInfo{3, vendor, product};
        node.descriptor = DeviceDescriptor;
        io_.nodes[sysfs_.devicePath(number)] = node;
    }

    // Node 0: a virtual device of the family.
    void addWidget() {
        sysfs_.addVirtualNode(0, hidUevent(Vendor, Application, "Widget", ""));
        addNode(0, Vendor, Application);
    }

    Handle openNode(unsigned number) {
        const OpenResult opened = platform().open(sysfs_.devicePath(number), OpenMode::Plain);
        EXPECT_TRUE(opened.handle);
        return opened.handle.value_or(Handle{0});
    }

    // The identity string as the device layer asks for it, decoded back for comparison.
    std::optional<std::u16string> identity(Handle handle, IdentityString which) {
        std::array<std::uint8_t, 60> buffer{};
        if (!platform().identityString(handle, which, buffer))
            return std::nullopt;
        std::u16string text;
        for (std::size_t i = 0; i + 1 < buffer.size(); i += 2) {
            const auto unit = static_cast<char16_t>(buffer[i] | (buffer[i + 1] << 8));
            if (unit == 0)
                break;
            text.push_back(unit);
        }
        return text;
    }

    FakeSysfs sysfs_;
    FakeHidrawIo::State io_;
    std::unique_ptr<LinuxPlatform> platform_;
};

TEST_F(LinuxPlatformTest, EnumeratesNodesInNumericOrder) {
    for (unsigned number : {10u, 2u, 9u, 0u}) {
        sysfs_.addVirtualNode(number, hidUevent(ForeignVendor, ForeignProduct, "Other", ""));
    }
    std::vector<std::string> paths;
    for (const InterfaceEntry& entry : platform().enumerateInterfaces())
        paths.push_back(entry.path);
    EXPECT_EQ(paths, (std::vector<std::string>{sysfs_.devicePath(0), sysfs_.devicePath(2),
                                               sysfs_.devicePath(9), sysfs_.devicePath(10)}));
}

TEST_F(LinuxPlatformTest, NoHidrawClassMeansNoInterfaces) {
    std::filesystem::remove_all(sysfs_.roots().sys / "class" / "hidraw");
    EXPECT_TRUE(platform().enumerateInterfaces().empty());
}

// A USB device takes its identity and release from its USB parent; a virtual one has only the
// uevent's name and uniq; a foreign device reports its own IDs.
TEST_F(LinuxPlatformTest, TakesAttributesAndIdentityFromWhereTheKernelKeepsThem) {
    using Text = std::optional<std::u16string>;
    FakeUsbDevice noSerial = UsbDevice;
    noSerial.serial.reset();
    const Attributes usbIds{Vendor, Application, 0x0105}, loaderIds{Vendor, Bootloader, 0};
    const Text acme = u"Acme Devices", widget = u"Widget \u0100", loader = u"Widget Loader";
    const struct {
        const char* name;
        std::optional<FakeUsbDevice> usb;  // nothing: a virtual device
        Attributes attributes;
        std::string uniq;
        Text manufacturer, product, serial;
    } cases[] = {
        {"USB", UsbDevice, usbIds, "uniq", acme, widget, u"SN42"},
        {"USB, no serial", noSerial, usbIds, "uniq", acme, widget, {}},
        {"virtual", {}, loaderIds, "B-7", {}, loader, u"B-7"},
        {"virtual, empty uniq", {}, loaderIds, "", {}, loader, {}},
        {"foreign", {}, {ForeignVendor, ForeignProduct, 0}, "", {}, loader, {}},
    };
    unsigned number = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto [vendor, product, release] = c.attributes;
        const std::string uevent = hidUevent(vendor, product, "Widget Loader", c.uniq);
        if (c.usb)
            sysfs_.addUsbNode(number, *c.usb, uevent);
        else
            sysfs_.addVirtualNode(number, uevent);
        addNode(number, vendor, product);
        const Handle handle = openNode(number++);

        EXPECT_EQ(platform().attributes(handle), c.attributes);
        EXPECT_EQ(platform().capabilities(handle)->featureReportByteLength, 65);
        EXPECT_EQ(identity(handle, IdentityString::Manufacturer), c.manufacturer);
        EXPECT_EQ(identity(handle, IdentityString::Product), c.product);
        EXPECT_EQ(identity(handle, IdentityString::SerialNumber), c.serial);
        EXPECT_TRUE(platform().close(handle));
    }
    EXPECT_TRUE(io_.openFds.empty());
}

TEST_F(LinuxPlatformTest, OpenFailuresAreClassifiedByErrno) {
    struct Case {
        int error;
        OpenError expected;
    };
    const std::vector<Case> cases = {
        {EACCES, OpenError::PermissionDenied}, {EPERM, OpenError::PermissionDenied},
        {ENOENT, OpenError::NotPresent},       {ENODEV, OpenError::NotPresent},
        {ENXIO, OpenError::NotPresent},        {EBUSY, OpenError::Other}};
    for (const Case& c : cases) {
        addNode(0, Vendor, Application, c.error);
        const OpenResult opened = platform().open(sysfs_.devicePath(0), OpenMode::Overlapped);
        EXPECT_FALSE(opened.handle) << "errno " << c.error;
        EXPECT_EQ(opened.error, c.expected) << "errno " << c.error;
    }
    EXPECT_EQ(platform().openHandleCount(), 0);
}

// The search recognises a node it may not open; unknown or malformed nodes give nothing.
TEST_F(LinuxPlatformTest, AttributesWithoutOpeningComeFromSysfs) {
    sysfs_.addUsbNode(3, UsbDevice, hidUevent(Vendor, Application, "Acme Devices Widget", ""));
    addNode(3, Vendor, Application, EACCES);
    ASSERT_EQ(platform().open(sysfs_.devicePath(3), OpenMode::Plain).error,
              OpenError::PermissionDenied);
    EXPECT_EQ(platform().attributesWithoutOpening(sysfs_.devicePath(3)),
              (Attributes{Vendor, Application, 0x0105}));
    sysfs_.addVirtualNode(1, "HID_ID=nonsense\nHID_NAME=x\n");
    for (const std::string& path :
         {sysfs_.devicePath(1), sysfs_.devicePath(7), std::string("/dev/../sys/class/hidraw")})
        EXPECT_FALSE(platform().attributesWithoutOpening(path)) << path;
}

TEST_F(LinuxPlatformTest, TwoOpensAreIndependentAndAClosedHandleStaysClosed) {
    addWidget();
    const Handle plain = openNode(0);
    const Handle overlapped = *platform().open(sysfs_.devicePath(0), OpenMode::Overlapped).handle;
    EXPECT_NE(plain, overlapped);
    EXPECT_EQ(io_.openFds.size(), 2u);

    EXPECT_TRUE(platform().close(plain));
    EXPECT_FALSE(platform().close(plain));  // never reaches the system a second time
    const Handle reopened = openNode(0);    // may get the same descriptor number back
    EXPECT_NE(reopened, plain);
    EXPECT_FALSE(platform().close(plain));
    EXPECT_FALSE(platform().attributes(plain));
    EXPECT_EQ(io_.openFds.size(), 2u);
    EXPECT_FALSE(platform().close(Handle{12345}));
}

TEST_F(LinuxPlatformTest, DestroyingThePlatformClosesWhatIsStillOpen) {
    addWidget();
    openNode(0);
    openNode(0);
    platform_.reset();
    EXPECT_TRUE(io_.openFds.empty());
}

TEST_F(LinuxPlatformTest, BrokenDescriptorGivesNoCapabilities) {
    addWidget();
    io_.nodes[sysfs_.devicePath(0)].descriptor = {0x75, 0x08, 0x95};
    EXPECT_FALSE(platform().capabilities(openNode(0)));
}

TEST_F(LinuxPlatformTest, SetFeatureSendsTheWholeReportAndFailsOnError) {
    addWidget();
    const Handle handle = openNode(0);
    const std::vector<std::uint8_t> report = {0x00, 0x01, 0x00, 0x00, 0x00};
    EXPECT_TRUE(platform().setFeature(handle, report));
    ASSERT_EQ(io_.sentReports.size(), 1u);
    EXPECT_EQ(io_.sentReports[0], report);

    io_.nodes[sysfs_.devicePath(0)].transferError = EIO;
    EXPECT_FALSE(platform().setFeature(handle, report));
    EXPECT_FALSE(platform().setFeature(handle, {}));
    EXPECT_EQ(io_.sentReports.size(), 1u);
}

TEST_F(LinuxPlatformTest, GetFeatureReturnsTheCountAndZeroesWhatWasNotDelivered) {
    addWidget();
    io_.nodes[sysfs_.devicePath(0)].featureAnswer = {0x00, 0xA1, 0xA2, 0xA3};
    const Handle handle = openNode(0);

    std::vector<std::uint8_t> report(8, 0xEE);
    EXPECT_EQ(platform().getFeature(handle, report), 4u);
    EXPECT_EQ(report, (std::vector<std::uint8_t>{0x00, 0xA1, 0xA2, 0xA3, 0, 0, 0, 0}));

    io_.nodes[sysfs_.devicePath(0)].transferError = ENODEV;
    EXPECT_FALSE(platform().getFeature(handle, report));
}

}  // namespace
}  // namespace fwu::platform::linux_hid
