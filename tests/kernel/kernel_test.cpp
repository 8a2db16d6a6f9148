// Runs inside a virtual machine on a real Linux kernel: simulated devices put on its HID bus
// through uhid, and the program's own Linux backend, device link and operations talking to
// them through hidraw. Every check compares what the device took with what was meant.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "cli/application.h"
#include "cli/interrupt.h"
#include "cli/progress_display.h"
#include "cli/terminal_host.h"
#include "device/device_link.h"
#include "device/identity.h"
#include "firmware/operations.h"
#include "platform/linux/linux_platform.h"
#include "tests/kernel/uhid_device.h"

namespace fwu::kerneltest {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using firmware::Outcome;
using platform::Attributes;
using simulator::DeviceState;
using namespace protocol;

// Without KVM every round trip through uhid costs milliseconds: the dump reads the first
// 64 KiB of the flash, not all of it.
constexpr std::size_t DumpBlockCount = 2048;
// A uhid device has no USB parent, so no release number.
const Attributes Application{VendorId, ApplicationProductIds[0], 0};
const Attributes Keyboard{0x1D6B, 0x0104, 0};

// The devices live for the whole run: the tests follow one device through its life.
struct Bench {
    UhidDevice keyboard{{.vendorId = Keyboard.vendorId,
                         .applicationProductId = Keyboard.productId,
                         .initialFlash = {},
                         .faults = {},
                         .arrivesAt = {},
                         .leavesAt = {}},
                        SimulatedDevice::Kind::Foreign,
                        "Plain Keyboard",
                        ""};
    UhidDevice device{{}, SimulatedDevice::Kind::Family, "Widget Mk2", "SN-4711"};
    platform::linux_hid::LinuxPlatform platform;
    fs::path folder = fs::temp_directory_path() / "fwu-kernel-test";
};
Bench* bench = nullptr;

std::optional<std::string> pathOf(const Attributes& wanted) {
    for (const auto& entry : bench->platform.enumerateInterfaces()) {
        if (bench->platform.attributesWithoutOpening(entry.path) == wanted)
            return entry.path;
    }
    return std::nullopt;
}

std::size_t nodeCount(const Attributes& wanted) {
    const auto entries = bench->platform.enumerateInterfaces();
    return std::count_if(entries.begin(), entries.end(), [&](const auto& entry) {
        return bench->platform.attributesWithoutOpening(entry.path) == wanted;
    });
}

bool waitForNode(const Attributes& wanted, std::size_t count = 1) {
    for (int attempt = 0; attempt < 250 && nodeCount(wanted) != count; ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return nodeCount(wanted) == count;
}

DeviceState stateOf(UhidDevice& device) {
    return device.with([](SimulatedDevice& simulated) { return simulated.state(); });
}

DeviceState deviceState() {
    return stateOf(bench->device);
}

// The command-line program, in this process, on the running system.
int runCommandLine(std::vector<std::string_view> arguments) {
    return cli::run(arguments, cli::processEnvironment());
}

// Whether `device` took `image` whole after `before`, and no other request than the update's.
void expectUpdated(UhidDevice& device, const DeviceState& before, const Bytes& image) {
    const DeviceState state = stateOf(device);
    const auto records = image.size() / ImageRecordSize;
    EXPECT_EQ(state.requests - before.requests, records + 3) << "start, erase, records, finish";
    EXPECT_EQ(state.recordsReceived, records);
    EXPECT_TRUE(state.finishedComplete);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), state.flash.begin()));
}

// Writes `size` bytes of a pattern as the image `name`; returns them zero-padded to the
// records they are sent in.
Bytes writeImage(const char* name, std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(0x31 + i * 7);
    std::ofstream(bench->folder / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
    bytes.resize((size / ImageRecordSize + 1) * ImageRecordSize, 0);
    return bytes;
}

// Each test finds the device, and runs operations on it as the command line does, quietly.
class Kernel : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(link.findTheHid()); }

    device::DeviceLink link{bench->platform};
    std::ostringstream messages;
    cli::ProgressDisplay progress{messages, false};
    cli::InterruptCatcher interrupts;
    cli::TerminalHost host{messages, progress, interrupts, true};
    firmware::FirmwareOperations operations{
        link, host, firmware::ProgramFiles{bench->folder}, {.dumpBlockCount = DumpBlockCount}};
};

// The keyboard came first: the search has to look at it and pass over it.
TEST_F(Kernel, SearchPassesOverTheKeyboardAndShowsHidNameAndUniq) {
    EXPECT_LT(pathOf(Keyboard), pathOf(Application));
    EXPECT_EQ(link.devicePath(), pathOf(Application));
    EXPECT_EQ(link.attributes(), Application);
    EXPECT_EQ(link.featureReportLength(), 65);
    const device::IdentityCaptions captions = device::readIdentityCaptions(link);
    EXPECT_EQ(captions.product, " Widget Mk2");
    EXPECT_EQ(captions.serialNumber, " SN-4711");
    EXPECT_FALSE(captions.manufacturer);  // no USB parent to name the maker
}

// As root the nodes are root-only; another user is refused and told apart from absence.
TEST_F(Kernel, UserWithoutAccessGetsPermissionDeniedForTheDeviceOnly) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        constexpr uid_t Nobody = 65534;
        if (setgid(Nobody) != 0 || setuid(Nobody) != 0)
            _exit(10);
        platform::linux_hid::LinuxPlatform platform;
        const auto opened = platform.open(*pathOf(Application), platform::OpenMode::Plain);
        if (opened.handle || opened.error != platform::OpenError::PermissionDenied)
            _exit(11);
        device::DeviceLink link(platform);
        _exit(link.findTheHid() ? 12 : link.permissionDenied() ? 0 : 13);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "exit " << WEXITSTATUS(status) << ": 10 setuid, 11 open, 12 search, 13 permission flag";
}

TEST_F(Kernel, DumpWritesTheFlashAsTheDeviceAnsweredIt) {
    const auto result = operations.run(firmware::Operation::Dump);
    ASSERT_EQ(result.outcome, Outcome::Succeeded) << result.message;
    const DeviceState state = deviceState();
    const std::size_t size = DumpBlockCount * BlockSize;
    EXPECT_EQ(state.readPosition, size);
    std::ifstream file(bench->folder / firmware::DumpFileName, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(file), {}),
              Bytes(state.flash.begin(), state.flash.begin() + size));
}

// The device takes only whole 65-byte reports: a short one would fail the update.
TEST_F(Kernel, UpdateOf85BytesArrivesByteForByteInSixReports) {
    const Bytes image = writeImage(firmware::UpdateImageName, 85);  // 3 records
    const std::uint64_t first = deviceState().requests;
    const auto result = operations.run(firmware::Operation::Update);
    ASSERT_EQ(result.outcome, Outcome::Succeeded) << result.message;
    EXPECT_FALSE(link.isOpen());
    const DeviceState state = deviceState();
    EXPECT_EQ(state.requests - first, 6u) << "start, erase, three records, finish";
    EXPECT_EQ(state.announcedRecordCount, 3);
    EXPECT_TRUE(state.finishedComplete);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), state.flash.begin()));
    EXPECT_EQ(state.flash[image.size()], 0xFF) << "erased, nothing written past the image";
}

TEST_F(Kernel, RecordFailingWithEioStopsTheUpdateThere) {
    writeImage(firmware::UpdateImageName, 200);
    const std::uint64_t first = deviceState().requests;
    const auto failFrom = [](std::optional<std::uint64_t> index) {
        bench->device.with(
            [&](SimulatedDevice& d) { d.config().faults.failTransfersFrom = index; });
    };
    failFrom(first + 3);  // start, erase, record 1; record 2 fails
    const auto result = operations.run(firmware::Operation::Update);
    failFrom(std::nullopt);
    EXPECT_EQ(result.outcome, Outcome::TransferFailed);
    std::printf("message: %s\n", result.message.c_str());
    const DeviceState state = deviceState();
    EXPECT_EQ(state.requests, first + 4) << "nothing may follow the failed record";
    EXPECT_EQ(state.recordsReceived, 1u);
    EXPECT_FALSE(state.finished);
    EXPECT_FALSE(link.isOpen());
}

// The kernel tells of the node leaving and coming back, and of nothing while all is quiet: the
// backend listens to netlink, it does not poll.
TEST_F(Kernel, NetlinkTellsOfTheDeviceLeavingAndComingBack) {
    using std::chrono::milliseconds;
    platform::linux_hid::LinuxPlatform watcher;
    EXPECT_TRUE(watcher.waitForInterfaceChange(milliseconds(0))) << "listening from now on";
    const auto watch = watcher.watchInterfaces({});  // the window's: a descriptor to poll
    ASSERT_TRUE(watch && watch->readableDescriptor());
    EXPECT_FALSE(watcher.waitForInterfaceChange(milliseconds(300)));
    bench->device.unplug();
    EXPECT_TRUE(watcher.waitForInterfaceChange(milliseconds(20'000)));
    EXPECT_FALSE(watcher.waitForInterfaceChange(milliseconds(300)));
    pollfd readable{*watch->readableDescriptor(), POLLIN, 0};
    EXPECT_EQ(::poll(&readable, 1, 20'000), 1);
    EXPECT_TRUE(watch->takeChanges());
    EXPECT_FALSE(watch->takeChanges()) << "each message taken once";
    ASSERT_TRUE(bench->device.plugIn());
    EXPECT_TRUE(watcher.waitForInterfaceChange(milliseconds(20'000)));
    EXPECT_TRUE(waitForNode(Application));
}

// Three devices at once: each holds the image afterwards and took no other device's reports.
TEST_F(Kernel, AllUpdatesThreeDevicesEachWithItsOwnReportsOnly) {
    UhidDevice second{{}, SimulatedDevice::Kind::Family, "Widget Mk2", "SN-4712"};
    UhidDevice third{{}, SimulatedDevice::Kind::Family, "Widget Mk2", "SN-4713"};
    std::string error;
    ASSERT_TRUE(second.start(error) && third.start(error)) << error;
    ASSERT_TRUE(waitForNode(Application, 3));
    const Bytes image = writeImage("all.bin", 100);  // 3 records
    const std::string path = (bench->folder / "all.bin").string();
    const DeviceState before[] = {deviceState(), stateOf(second), stateOf(third)};
    EXPECT_EQ(runCommandLine({"--all", "update", path}), 0);
    expectUpdated(bench->device, before[0], image);
    expectUpdated(second, before[1], image);
    expectUpdated(third, before[2], image);
}

// The program starts with no device present and updates the device that arrives.
TEST_F(Kernel, WaitSeesADeviceCreatedAfterTheProgramStarted) {
    bench->device.unplug();
    ASSERT_TRUE(waitForNode(Application, 0));
    const Bytes image = writeImage("late.bin", 85);
    const std::string path = (bench->folder / "late.bin").string();
    const DeviceState before = deviceState();
    int status = -1;
    std::thread program([&] { status = runCommandLine({"--wait=60", "update", path}); });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // no device meanwhile
    ASSERT_TRUE(bench->device.plugIn());
    program.join();
    EXPECT_EQ(status, 0);
    expectUpdated(bench->device, before, image);
}

// The application node is held open through the restart, so the bootloader comes back under
// another node name: the search finds it by its IDs, and the stale descriptor is dead.
TEST_F(Kernel, UpgradeFindsTheBootloaderUnderANewNodeAndDownloads) {
    const std::string applicationPath = link.devicePath();
    const auto held = bench->platform.open(applicationPath, platform::OpenMode::Plain).handle;
    ASSERT_TRUE(held);
    const Bytes image = writeImage(firmware::DownloadImageName, 100);  // 3 records
    const auto result = operations.run(firmware::Operation::Upgrade);
    ASSERT_EQ(result.outcome, Outcome::Succeeded) << result.message;
    EXPECT_TRUE(host.unloaded());
    EXPECT_EQ(link.attributes().productId, BootloaderProductId);
    std::printf("application at %s, bootloader at %s\n", applicationPath.c_str(),
                link.devicePath().c_str());
    EXPECT_NE(link.devicePath(), applicationPath);
    EXPECT_FALSE(bench->platform.setFeature(*held, Bytes(65, 0)));
    EXPECT_TRUE(bench->platform.close(*held));
    EXPECT_EQ(deviceState().enterBootloaderCount, 1u);
    EXPECT_EQ(deviceState().bootloaderImage, image);
}

TEST(KernelRun, NoHandleOfTheRunIsLeftOpen) {
    EXPECT_EQ(bench->platform.openHandleCount(), 0);
}

}  // namespace

int runKernelTests(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    Bench devices;
    bench = &devices;
    fs::create_directories(devices.folder);
    std::string error;
    // The keyboard first, so that its node comes before the device's.
    if (!devices.keyboard.start(error) || !waitForNode(Keyboard) || !devices.device.start(error) ||
        !waitForNode(Application)) {
        std::printf("the uhid devices did not appear: %s\n", error.c_str());
        return 1;
    }
    return RUN_ALL_TESTS();
}

}  // namespace fwu::kerneltest

int main(int argc, char** argv) {
    const int failed = fwu::kerneltest::runKernelTests(argc, argv);
    std::fflush(stdout);
    return failed == 0 ? 0 : 1;
}
