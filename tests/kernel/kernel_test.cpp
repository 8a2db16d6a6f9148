// Runs inside a virtual machine on a real Linux kernel: simulated devices put on its HID bus
// through uhid, and the program's own Linux backend, device link and operations talking to
// them through hidraw. Every check compares what the device took with what was meant.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include <algorithm>
#include <atomic>
#include <csignal>
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
Bytes writeImage(const char* name, std::size_t size, std::uint8_t seed = 0x31) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
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
    link.closeConnection();  // the bench's device is one of the three
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

// SIGTERM to the process as the device takes the second record, while the program waits in the
// kernel for its answer: the transfer completes, the update stops before the next report, so the
// device never gets a finish report, and the log has the line of the cancelled update.
TEST_F(Kernel, TermMidUpdateLeavesALogLineAndNoFinishReport) {
    link.closeConnection();                           // the program opens the device itself
    const Bytes image = writeImage("term.bin", 400);  // 10 records
    const fs::path log = bench->folder / "term.log";
    fs::remove(log);
    const std::uint64_t first = deviceState().requests;
    bench->device.onRequest([first](std::uint64_t index) {
        if (index == first + 3)  // start, erase, record 1, record 2
            ::kill(::getpid(), SIGTERM);
    });
    const int status =
        runCommandLine({"--log", log.c_str(), "update", (bench->folder / "term.bin").c_str()});
    bench->device.onRequest({});
    EXPECT_EQ(status, 1);
    const DeviceState state = deviceState();
    EXPECT_EQ(state.requests, first + 4) << "nothing after the record the signal met";
    EXPECT_FALSE(state.finished);
    std::ifstream logged(log);
    std::string line, more;
    ASSERT_TRUE(std::getline(logged, line));
    EXPECT_FALSE(std::getline(logged, more));
    EXPECT_NE(line.find("\"outcome\":\"cancelled\""), std::string::npos) << line;
    EXPECT_NE(line.find("\"exitStatus\":1"), std::string::npos) << line;
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 80, state.flash.begin()));
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

// The bootloader-mode download is refused by the device in application mode before a single
// report goes out, and the program goes on.
TEST_F(Kernel, LoadIntoTheApplicationSendsNothing) {
    writeImage(firmware::DownloadImageName, 85);
    const std::uint64_t requests = deviceState().requests;
    const auto result = operations.run(firmware::Operation::Download);
    EXPECT_EQ(result.outcome, Outcome::WrongMode) << result.message;
    EXPECT_EQ(deviceState().requests, requests);
    EXPECT_TRUE(deviceState().bootloaderImage.empty());
    EXPECT_FALSE(host.unloaded());
}

// Plugged in again with its node free, the device comes back under the same node name, as
// another arrival: the name of its HID device differs.
TEST_F(Kernel, ADeviceBackUnderItsNodeIsAnotherArrival) {
    link.closeConnection();
    const auto replug = [] {
        bench->device.unplug();
        EXPECT_TRUE(waitForNode(Application, 0));
        EXPECT_TRUE(bench->device.plugIn() && waitForNode(Application));
        for (const auto& entry : bench->platform.enumerateInterfaces()) {
            if (bench->platform.attributesWithoutOpening(entry.path) == Application)
                return entry;
        }
        return platform::InterfaceEntry{};
    };
    const platform::InterfaceEntry before = replug(), after = replug();
    std::printf("%s: arrival %s, then %s\n", after.path.c_str(), before.arrival.c_str(),
                after.arrival.c_str());
    EXPECT_EQ(after.path, before.path);
    EXPECT_FALSE(before.arrival.empty());
    EXPECT_NE(after.arrival, before.arrival);
}

// Where run.sh puts the command-line program.
constexpr const char* CliProgram = "/firmware-update-cli";
constexpr std::size_t PacedImageSize = 100 * ImageRecordSize - 1;  // 100 records
constexpr std::chrono::milliseconds Pace{100};

std::string fileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// The command-line program started as a process of its own, as another program on the machine
// would be, with its standard output and error in files; killed at the end if still running.
struct Program {
    explicit Program(std::vector<std::string> arguments) {
        static int started = 0;
        out = (fs::temp_directory_path() / ("program-" + std::to_string(++started))).string();
        err = out + ".err";
        arguments.insert(arguments.begin(), CliProgram);
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        if ((pid = ::fork()) == 0) {
            const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (o >= 0 && e >= 0 && ::dup2(o, 1) >= 0 && ::dup2(e, 2) >= 0)
                ::execv(CliProgram, argv.data());
            _exit(127);
        }
    }
    ~Program() {
        if (running())
            ::kill(pid, SIGKILL);
        wait();
    }
    Program(const Program&) = delete;
    bool running() {
        int result = 0;
        if (!status && ::waitpid(pid, &result, WNOHANG) == pid)
            status = result;
        return !status;
    }
    int wait() {  // the exit status; -1 when a signal ended it
        int result = 0;
        if (!status && ::waitpid(pid, &result, 0) == pid)
            status = result;
        return WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
    }
    std::string output() const { return fileText(out); }
    std::string errors() const { return fileText(err); }

    std::string out, err;
    pid_t pid = -1;
    std::optional<int> status;
};

// Polls `done` until it holds or `limit` has passed.
void waitUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// The outcomes the --json lines of `output` give the device with `serial`.
std::vector<std::string> outcomesOf(const std::string& output, const std::string& serial) {
    std::vector<std::string> outcomes;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const auto at = line.find("\"outcome\":\"") + 11;
        if (line.find("\"serialNumber\":\"" + serial + "\"") != std::string::npos)
            outcomes.push_back(line.substr(at, line.find('"', at) - at));
    }
    return outcomes;
}

// A device of its own beside the bench's, paced, and an update of it started and under way.
struct PacedUpdate {
    explicit PacedUpdate(const std::string& serial)
        : serial(serial), device({}, SimulatedDevice::Kind::Family, "Widget Mk2", serial) {
        std::string error;
        EXPECT_TRUE(device.start(error) && waitForNode(Application, 2)) << error;
        image = writeImage("paced.bin", PacedImageSize);
        other = writeImage("other.bin", PacedImageSize, 0x52);
        before = stateOf(device);
        device.pace(Pace);
        writer.emplace(std::vector<std::string>{"--serial", serial, "update", path("paced.bin")});
        waitUntil([&] { return stateOf(device).requests >= before.requests + 3; },
                  std::chrono::seconds(60));
    }
    static std::string path(const char* name) { return (bench->folder / name).string(); }

    std::string serial;
    UhidDevice device;
    Bytes image, other;
    DeviceState before;
    std::optional<Program> writer;
};

// Two programs update one device at once: the one that has it writes its image whole; the other
// is refused before it sends anything, and told which program holds the device.
TEST_F(Kernel, ASecondProgramIsRefusedWhileTheFirstWrites) {
    PacedUpdate paced("SN-5001");
    const std::string trace = PacedUpdate::path("other.trace");
    Program intruder({"--serial", paced.serial, "--json", "--trace", trace, "update",
                      PacedUpdate::path("other.bin")});
    waitUntil([&] { return !intruder.running(); }, std::chrono::seconds(20));
    paced.device.pace({});
    const int writerStatus = paced.writer->wait(), intruderStatus = intruder.wait();
    std::printf("writer: exit %d; intruder: exit %d, %s%s", writerStatus, intruderStatus,
                intruder.errors().c_str(), intruder.output().c_str());
    EXPECT_EQ(writerStatus, 0);
    EXPECT_EQ(intruderStatus, 1);
    EXPECT_EQ(outcomesOf(intruder.output(), paced.serial), std::vector<std::string>{"busy"});
    const std::string holder =
        "in use by firmware-update-cli (process " + std::to_string(paced.writer->pid) + ")";
    EXPECT_NE(intruder.errors().find(holder), std::string::npos) << intruder.errors();
    EXPECT_EQ(fs::file_size(trace), 0u) << "the refused program sent nothing";
    expectUpdated(paced.device, paced.before, paced.image);
}

// A program killed in the middle of an update leaves the device free for the next one; while it
// held the device, `list` showed it in use by that program.
TEST_F(Kernel, AProgramKilledMidUpdateLeavesTheDeviceFree) {
    PacedUpdate paced("SN-5002");
    Program list({"--serial", paced.serial, "--json", "list"});
    EXPECT_EQ(list.wait(), 0);
    const std::string heldBy =
        "\"inUse\":true,\"holderName\":\"firmware-update-cli\","
        "\"holderProcessId\":" +
        std::to_string(paced.writer->pid) + "}";
    EXPECT_NE(list.output().find(heldBy), std::string::npos) << list.output();
    paced.writer.reset();  // killed
    paced.device.pace({});
    Program next({"--serial", paced.serial, "update", PacedUpdate::path("other.bin")});
    EXPECT_EQ(next.wait(), 0) << next.errors();
    const DeviceState state = stateOf(paced.device);
    EXPECT_TRUE(state.finishedComplete);
    EXPECT_TRUE(std::equal(paced.other.begin(), paced.other.end(), state.flash.begin()));
}

// Two stations' --all runs over the same three devices at once: each device is updated whole by
// one of them and reported busy by the other.
TEST_F(Kernel, TwoAllRunsAtOnceLeaveEachFlashWithOneWholeImage) {
    link.closeConnection();  // the bench's device is one of the three
    UhidDevice second{{}, SimulatedDevice::Kind::Family, "Widget Mk2", "SN-5003"};
    UhidDevice third{{}, SimulatedDevice::Kind::Family, "Widget Mk2", "SN-5004"};
    std::string error;
    ASSERT_TRUE(second.start(error) && third.start(error) && waitForNode(Application, 3));
    const Bytes images[] = {writeImage("first.bin", PacedImageSize),
                            writeImage("second.bin", PacedImageSize, 0x52)};
    const std::pair<UhidDevice*, const char*> devices[] = {
        {&bench->device, "SN-4711"}, {&second, "SN-5003"}, {&third, "SN-5004"}};
    std::vector<DeviceState> before;
    for (const auto& [device, serial] : devices) {
        before.push_back(stateOf(*device));
        device->pace(Pace);
    }
    Program runs[] = {Program({"--all", "--json", "update", PacedUpdate::path("first.bin")}),
                      Program({"--all", "--json", "update", PacedUpdate::path("second.bin")})};
    const auto refusals = [&] {
        const std::string lines = runs[0].output() + runs[1].output();
        std::size_t busy = 0;
        for (auto at = lines.find("\"busy\""); at != std::string::npos;
             at = lines.find("\"busy\"", at + 1))
            ++busy;
        return busy;
    };
    waitUntil([&] { return refusals() >= std::size(devices); }, std::chrono::seconds(30));
    for (const auto& [device, serial] : devices)
        device->pace({});
    for (Program& run : runs)
        run.wait();
    for (std::size_t index = 0; index < std::size(devices); ++index) {
        SCOPED_TRACE(devices[index].second);
        auto outcomes = outcomesOf(runs[0].output(), devices[index].second);
        const bool firstWrote = outcomes == std::vector<std::string>{"succeeded"};
        for (const std::string& outcome : outcomesOf(runs[1].output(), devices[index].second))
            outcomes.push_back(outcome);
        std::sort(outcomes.begin(), outcomes.end());
        EXPECT_EQ(outcomes, (std::vector<std::string>{"busy", "succeeded"}));
        expectUpdated(*devices[index].first, before[index], images[firstWrote ? 0 : 1]);
    }
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
