#include "platform/linux/linux_platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <set>

#include "device/protocol.h"
#include "tests/platform_linux/fake_system.h"
#include "tests/platform_linux/hid_descriptors.h"

namespace fwu::platform::linux_hid::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Files = std::map<std::string, std::string>;

const Files UsbWidget = {{"idVendor", "7a5d"},           {"idProduct", "0a11"},
                         {"bcdDevice", "0105"},          {"manufacturer", "Acme Devices"},
                         {"product", "Widget \xC4\x80"}, {"serial", "SN42"}};

// A node of the family, or of another vendor; the uevent as the kernel writes it, and a line
// that is none of its.
FakeNode node(std::uint16_t product, const std::string& uniq = "", Files usb = {},
              std::uint16_t vendor = protocol::VendorId) {
    char id[24];
    std::snprintf(id, sizeof id, "0003:0000%04X:0000%04X", vendor, product);
    const std::string uevent = "DRIVER=hid-generic\nHID_ID=" + std::string(id) +
                               "\nHID_NAME=Widget = Loader\nHID_PHYS=usb-0000:00:14.0-1/input0\n"
                               "not a line\nHID_UNIQ=" +
                               uniq + "\nMODALIAS=hid:b0003\n";
    return FakeNode{uevent, std::move(usb), RawInfo{3, vendor, product}, FamilyDescriptor};
}

// A node of the family whose open fails with `error`.
FakeNode refusing(int error) {
    FakeNode refused = node(protocol::ApplicationProductIds[0]);
    refused.openError = error;
    return refused;
}

std::string ids(const std::optional<Attributes>& ids) {
    char text[24] = "no IDs";
    if (ids)
        std::snprintf(text, sizeof text, "%04x:%04x:%04x", ids->vendorId, ids->productId,
                      ids->versionNumber);
    return text;
}

class LinuxPlatformTest : public ::testing::Test {
  protected:
    LinuxPlatform& platform() { return *platform_; }
    Handle open(unsigned number) {
        return platform().open(system_.devicePath(number), OpenMode::Plain).handle.value();
    }
    // The identity string as the device layer asks for it; other than ASCII as \u escapes.
    std::string identity(Handle handle, IdentityString which) {
        std::array<std::uint8_t, 60> buffer{};
        if (!platform().identityString(handle, which, buffer))
            return "-";
        std::string text;
        for (std::size_t i = 0; i + 1 < buffer.size() && (buffer[i] | buffer[i + 1]); i += 2) {
            char unit[8] = {static_cast<char>(buffer[i]), 0};
            if (buffer[i] >= 0x80 || buffer[i + 1] != 0)
                std::snprintf(unit, sizeof unit, "\\u%02x%02x", buffer[i + 1], buffer[i]);
            text += unit;
        }
        return text;
    }
    // What the search and the device link learn of a node, as one line: the IDs without
    // opening; then the open's failure, or the IDs, the feature report length and the three
    // identity strings.
    std::string survey(unsigned number) {
        const std::string path = system_.devicePath(number);
        std::string seen = ids(platform().attributesWithoutOpening(path)) + " ";
        const OpenResult opened = platform().open(path, OpenMode::Overlapped);
        const char* errors[] = {"", "permission denied", "not present", "open fails"};
        if (!opened.handle)
            return seen + errors[static_cast<int>(opened.error)];
        const Handle handle = *opened.handle;
        const auto capabilities = platform().capabilities(handle);
        seen += ids(platform().attributes(handle)) + " " +
                (capabilities ? std::to_string(capabilities->featureReportByteLength) : "-") + " " +
                identity(handle, IdentityString::Manufacturer) + "|" +
                identity(handle, IdentityString::Product) + "|" +
                identity(handle, IdentityString::SerialNumber);
        return platform().close(handle) ? seen : seen + ", close fails";
    }

    FakeSystem system_;
    std::unique_ptr<LinuxPlatform> platform_ =
        std::make_unique<LinuxPlatform>(system_.roots(), system_.io());
};

// A USB device takes its identity and release from its USB parent; a virtual one has only the
// uevent's name and uniq, and an empty attribute is a string the device does not have. The
// search sees the IDs of a node it may not open; an open's errno says why it failed.
TEST_F(LinuxPlatformTest, TakesIdsAndIdentityFromWhereTheKernelKeepsThem) {
    const auto app = protocol::ApplicationProductIds[0], loader = protocol::BootloaderProductId;
    FakeNode noSerial = node(app, "uniq", UsbWidget), brokenDescriptor = node(app);
    noSerial.usb.erase("serial");
    brokenDescriptor.descriptor.resize(2);
    FakeNode outside = node(app, "uniq", UsbWidget), malformed = node(app);
    outside.outsideSys = true;
    malformed.uevent = "HID_ID=nonsense\nHID_NAME=x\n";
    const std::pair<FakeNode, const char*> rows[] = {
        {node(app, "uniq", UsbWidget),
         "7a5d:0a11:0105 7a5d:0a11:0105 65 Acme Devices|Widget \\u0100|SN42"},
        {noSerial, "7a5d:0a11:0105 7a5d:0a11:0105 65 Acme Devices|Widget \\u0100|-"},
        {outside, "7a5d:0a11:0000 7a5d:0a11:0000 65 -|Widget = Loader|uniq"},  // not its parent
        {node(loader, "B-7"), "7a5d:0b1d:0000 7a5d:0b1d:0000 65 -|Widget = Loader|B-7"},
        {node(loader), "7a5d:0b1d:0000 7a5d:0b1d:0000 65 -|Widget = Loader|-"},
        {node(0x0104, "", {}, 0x1D6B), "1d6b:0104:0000 1d6b:0104:0000 65 -|Widget = Loader|-"},
        {malformed, "no IDs 7a5d:0a11:0000 65 -|x|-"},
        {brokenDescriptor, "7a5d:0a11:0000 7a5d:0a11:0000 - -|Widget = Loader|-"},
        {refusing(EACCES), "7a5d:0a11:0000 permission denied"},
        {refusing(EPERM), "7a5d:0a11:0000 permission denied"},
        {refusing(ENOENT), "7a5d:0a11:0000 not present"},
        {refusing(ENODEV), "7a5d:0a11:0000 not present"},
        {refusing(ENXIO), "7a5d:0a11:0000 not present"},
        {refusing(EBUSY), "7a5d:0a11:0000 open fails"},
    };
    for (unsigned number = 0; number < std::size(rows); ++number) {
        system_.add(number, rows[number].first);
        EXPECT_EQ(survey(number), rows[number].second) << "row " << number;
    }
    EXPECT_TRUE(system_.openFds.empty());
    EXPECT_EQ(survey(99), "no IDs not present");
    EXPECT_FALSE(platform().attributesWithoutOpening("/dev/../sys/class/hidraw"));
}

// Each node's arrival is the name of its HID device, which the kernel numbers anew each time.
TEST_F(LinuxPlatformTest, EnumeratesNodesInNumericOrder) {
    for (unsigned number : {10u, 2u, 9u, 0u})
        system_.add(number, node(protocol::BootloaderProductId));
    std::vector<std::string> paths, arrivals;
    for (const InterfaceEntry& entry : platform().enumerateInterfaces()) {
        paths.push_back(entry.path);
        arrivals.push_back(entry.arrival);
    }
    EXPECT_EQ(paths, (std::vector<std::string>{system_.devicePath(0), system_.devicePath(2),
                                               system_.devicePath(9), system_.devicePath(10)}));
    EXPECT_EQ(arrivals, (std::vector<std::string>{"0003:0", "0003:2", "0003:9", "0003:10"}));
    std::filesystem::remove_all(system_.roots().sys / "class/hidraw");
    EXPECT_TRUE(platform().enumerateInterfaces().empty());
}

TEST_F(LinuxPlatformTest, EveryHandleIsClosedOnceAndAClosedOneStaysClosed) {
    system_.add(0, node(protocol::BootloaderProductId));
    const Handle first = open(0), second = open(0);
    EXPECT_NE(first, second);
    EXPECT_TRUE(platform().close(first));
    EXPECT_NE(open(0), first) << "a new handle, though it may get the same descriptor";
    EXPECT_FALSE(platform().close(first) || platform().attributes(first) ||
                 platform().close(Handle{12345}));
    EXPECT_EQ(system_.openFds.size(), 2u);
    platform_.reset();
    EXPECT_TRUE(system_.openFds.empty()) << "the platform closes what is still open";
}

// One open of a node holds it; every other open is refused it until that one closes, and told
// who holds it from the kernel's lock table (a waiting lock, a POSIX lock and another file's
// lock are none of it) and the holder's comm, or its command line where comm was cut short.
TEST_F(LinuxPlatformTest, AClaimHoldsTheNodeAgainstEveryOtherOpenAndNamesItsHolder) {
    system_.add(0, node(protocol::ApplicationProductIds[0]));
    const std::string path = system_.devicePath(0);
    struct stat locked {};
    ASSERT_EQ(::stat(path.c_str(), &locked), 0);
    char file[64];
    std::snprintf(file, sizeof file, "%02x:%02x:%llu", major(locked.st_dev), minor(locked.st_dev),
                  static_cast<unsigned long long>(locked.st_ino));
    const std::string lockTable = "1: POSIX  ADVISORY  WRITE 7 " + std::string(file) +
                                  " 0 EOF\n1: -> FLOCK  ADVISORY  WRITE 9 " + file +
                                  " 0 EOF\n2: FLOCK  ADVISORY  WRITE 8 00:05:1 0 EOF\n"
                                  "3: FLOCK  ADVISORY  WRITE 4242 " +
                                  file + " 0 EOF\n";
    const auto proc = system_.roots().proc;
    const std::tuple<const char*, std::string, DeviceHolder> cases[] = {
        // comm, command line, holder; no comm: no such process
        {"firmware-update\n", std::string("/usr/bin/firmware-update-cli\0update", 35),
         DeviceHolder{"firmware-update-cli", 4242}},
        {"firmware-update\n", "bash", DeviceHolder{"firmware-update", 4242}},
        {nullptr, "", DeviceHolder{"", 4242}},
    };
    for (const auto& [comm, commandLine, holder] : cases) {
        SCOPED_TRACE(commandLine);
        std::filesystem::remove_all(proc);
        FakeSystem::write(proc / "locks", lockTable);
        if (comm) {
            FakeSystem::write(proc / "4242/comm", comm);
            FakeSystem::write(proc / "4242/cmdline", commandLine);
        }
        const Handle first = open(0), second = open(0);
        EXPECT_TRUE(platform().claim(first).claimed);
        const ClaimResult refused = platform().claim(second);
        EXPECT_FALSE(refused.claimed);
        EXPECT_EQ(refused.holder, holder);
        EXPECT_EQ(platform().holderOf(path), std::optional(holder));
        EXPECT_TRUE(platform().close(first));
        EXPECT_TRUE(platform().claim(second).claimed);
        EXPECT_TRUE(platform().close(second));
    }
    FakeSystem::write(proc / "locks", "");
    EXPECT_FALSE(platform().holderOf(path));
}

TEST_F(LinuxPlatformTest, FeatureTransfersPassTheWholeReportOrFail) {
    FakeNode answering = node(protocol::BootloaderProductId);
    answering.featureAnswer = {0x00, 0xA1, 0xA2, 0xA3};
    system_.add(0, answering);
    const Handle handle = open(0);
    const Bytes report = {0x00, 0x01, 0x00, 0x00, 0x00};
    EXPECT_TRUE(platform().setFeature(handle, report));
    EXPECT_EQ(system_.sentReports, std::vector<Bytes>{report});
    Bytes answer(8, 0xEE);
    EXPECT_EQ(platform().getFeature(handle, answer), 4u);
    EXPECT_EQ(answer, (Bytes{0x00, 0xA1, 0xA2, 0xA3, 0, 0, 0, 0})) << "nothing stale after it";

    system_.nodes[system_.devicePath(0)].featureTaken = report.size() - 1;
    EXPECT_FALSE(platform().setFeature(handle, report)) << "a report the driver took in part";
    system_.nodes[system_.devicePath(0)].transferError = EIO;
    EXPECT_FALSE(platform().setFeature(handle, report) || platform().setFeature(handle, {}) ||
                 platform().getFeature(handle, answer));
    EXPECT_EQ(system_.sentReports.size(), 2u);
}

// The rule file names exactly the device's vendor with its three product IDs, in the
// lower-case hex of sysfs, and grants access through the seat, never to everyone.
TEST(UdevRule, GrantsSeatAccessToExactlyTheProductsOfTheProtocol) {
    std::set<std::string> expected, rules;
    for (const std::uint16_t product :
         {protocol::ApplicationProductIds[0], protocol::ApplicationProductIds[1],
          protocol::BootloaderProductId}) {
        char rule[128];
        std::snprintf(rule, sizeof rule,
                      R"(SUBSYSTEM=="hidraw", ATTRS{idVendor}=="%04x", ATTRS{idProduct}=="%04x", )"
                      R"(TAG+="uaccess")",
                      protocol::VendorId, product);
        expected.insert(rule);
    }
    std::ifstream file(FWU_UDEV_RULE_FILE);
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line[0] != '#')
            rules.insert(line);
    }
    EXPECT_EQ(rules, expected) << "the rules of " << FWU_UDEV_RULE_FILE;
}

}  // namespace
}  // namespace fwu::platform::linux_hid::testing
