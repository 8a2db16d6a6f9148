// Runs inside a virtual machine on a real Linux kernel: a device of the family made through
// uhid, and the program's own Linux backend, device link and operations talking to it
// through hidraw. Every check compares what the device received with what was meant.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "device/device_link.h"
#include "device/identity.h"
#include "device/protocol.h"
#include "firmware/operation_host.h"
#include "firmware/operations.h"
#include "platform/linux/linux_platform.h"
#include "tests/kernel/uhid_device.h"

namespace fwu::kerneltest {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using platform::Attributes;
using platform::IdentityString;
using platform::OpenError;
using platform::OpenMode;
using namespace protocol;

constexpr std::uint16_t ForeignVendor = 0x1D6B;
constexpr std::uint16_t ForeignProduct = 0x0104;
constexpr auto ReenumerationDelay = std::chrono::milliseconds(300);
constexpr auto NodeWaitLimit = std::chrono::seconds(5);
constexpr uid_t Nobody = 65534;
// Without KVM every round trip through uhid costs milliseconds: the dump reads the first
// 64 KiB of the flash, not all of it.
constexpr std::size_t DumpBlockCount = 2048;

const UhidIdentity DeviceIdentity{"Widget Mk2", "SN-4711", VendorId, ApplicationProductIds[0]};
const UhidIdentity ForeignIdentity{"Plain Keyboard", "", ForeignVendor, ForeignProduct};

// The devices live for the whole run: the tests follow one device through its life.
struct Bench {
    UhidForeignDevice keyboard;
    UhidProtocolDevice device{DeviceIdentity, ReenumerationDelay};
    platform::linux_hid::LinuxPlatform platform;
    fs::path folder = fs::temp_directory_path() / "fwu-kernel-test";
};
Bench* bench = nullptr;

class QuietHost final : public firmware::OperationHost {
  public:
    void showProgress() override {}
    void advanceProgress(std::int64_t, std::int64_t) override {}
    void clearProgress() override {}
    void processEvents() override {}
    void disableUpdateButton() override {}
    void clearProductAndVersion() override {}
    void showUpgradeBusy() override {}
    void setStatusText(const std::string&) override {}
    void unload() override { unloaded = true; }
    void showError(const std::string& message) override { errors.push_back(message); }
    bool cancelRequested() override { return false; }
    void busyChanged(bool) override {}

    bool unloaded = false;
    std::vector<std::string> errors;
};

std::optional<std::string> pathOf(const Attributes& wanted) {
    for (const auto& entry : bench->platform.enumerateInterfaces()) {
        const auto found = bench->platform.attributesWithoutOpening(entry.path);
        if (found && found->vendorId == wanted.vendorId && found->productId == wanted.productId) {
            return entry.path;
        }
    }
    return std::nullopt;
}

bool waitForNode(const Attributes& wanted) {
    const auto limit = std::chrono::steady_clock::now() + NodeWaitLimit;
    while (std::chrono::steady_clock::now() < limit) {
        if (pathOf(wanted))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::optional<std::u16string> identity(platform::Handle handle, IdentityString which) {
    Bytes buffer(60, 0);
    if (!bench->platform.identityString(handle, which, buffer))
        return std::nullopt;
    std::u16string text;
    for (std::size_t i = 0; i + 1 < buffer.size() && (buffer[i] | buffer[i + 1]) != 0; i += 2) {
        text.push_back(static_cast<char16_t>(buffer[i] | (buffer[i + 1] << 8)));
    }
    return text;
}

Bytes patternBytes(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    return bytes;
}

void writeFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

Bytes readFile(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(stream), {});
}

// The records an image is sent as: whole 40-byte pieces, the last one zero-padded.
Bytes record(const Bytes& image, std::size_t index) {
    Bytes bytes(ImageRecordSize, 0);
    for (std::size_t i = 0; i < ImageRecordSize && index * ImageRecordSize + i < image.size();
         ++i) {
        bytes[i] = image[index * ImageRecordSize + i];
    }
    return bytes;
}

std::vector<DeviceRequest> requestsSince(std::size_t first) {
    auto all = bench->device.requests();
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(first, all.size())), all.end()};
}

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t count) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

firmware::FirmwareOperations operations(device::DeviceLink& link, QuietHost& host) {
    firmware::OperationSettings settings;
    settings.dumpBlockCount = DumpBlockCount;
    return firmware::FirmwareOperations(link, host, firmware::ProgramFiles{bench->folder},
                                        settings);
}

const Attributes Application{VendorId, ApplicationProductIds[0], 0};
const Attributes Foreign{ForeignVendor, ForeignProduct, 0};

TEST(Kernel, BackendReadsIdsCapabilitiesAndStringsOfUhidDevices) {
    const auto devicePath = pathOf(Application);
    const auto foreignPath = pathOf(Foreign);
    ASSERT_TRUE(devicePath && foreignPath);
    std::printf("device at %s, keyboard at %s\n", devicePath->c_str(), foreignPath->c_str());

    auto& platform = bench->platform;
    const auto device = platform.open(*devicePath, OpenMode::Plain).handle;
    const auto keyboard = platform.open(*foreignPath, OpenMode::Plain).handle;
    ASSERT_TRUE(device && keyboard);
    EXPECT_EQ(platform.attributes(*device), Application);  // a uhid device has no bcdDevice
    EXPECT_EQ(platform.attributes(*keyboard), Foreign);
    EXPECT_EQ(platform.capabilities(*device)->featureReportByteLength, 65);
    EXPECT_EQ(platform.capabilities(*keyboard)->featureReportByteLength, 0);
    EXPECT_EQ(identity(*device, IdentityString::Product), u"Widget Mk2");
    EXPECT_EQ(identity(*device, IdentityString::SerialNumber), u"SN-4711");
    EXPECT_FALSE(identity(*device, IdentityString::Manufacturer));
    EXPECT_TRUE(platform.close(*device));
    EXPECT_TRUE(platform.close(*keyboard));
    EXPECT_EQ(platform.openHandleCount(), 0);
}

TEST(Kernel, FeatureReportsReachTheDeviceUnchanged) {
    const auto handle = bench->platform.open(*pathOf(Application), OpenMode::Plain).handle;
    ASSERT_TRUE(handle);
    const std::size_t first = bench->device.requestCount();
    Bytes start(65, 0);
    start[CommandPosition] = StartCommand;
    start[64] = 0xA5;  // the last byte travels too
    EXPECT_TRUE(bench->platform.setFeature(*handle, start));
    Bytes answer(65, 0xEE);
    answer[0] = ReportId;
    EXPECT_EQ(bench->platform.getFeature(*handle, answer), 65u);
    bench->platform.close(*handle);

    const auto requests = requestsSince(first);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].kind, DeviceRequest::Kind::SetFeature);
    EXPECT_EQ(requests[0].bytes, start);
    EXPECT_EQ(requests[1].kind, DeviceRequest::Kind::GetFeature);
    EXPECT_EQ(answer, requests[1].bytes);
    EXPECT_EQ(answer[BlockDataPosition], ProtocolDevice::initialFlashByte(0));
}

// As root the nodes are root-only; another user is refused and told apart from absence.
TEST(Kernel, UserWithoutAccessGetsPermissionDeniedForTheDeviceOnly) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(Nobody) != 0 || setuid(Nobody) != 0)
            _exit(10);
        platform::linux_hid::LinuxPlatform platform;
        const auto opened = platform.open(*pathOf(Application), OpenMode::Plain);
        if (opened.handle || opened.error != OpenError::PermissionDenied)
            _exit(11);
        device::DeviceLink link(platform);
        if (link.findTheHid())
            _exit(12);
        _exit(link.permissionDenied() ? 0 : 13);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10 setuid, 11 open, 12 search, 13 permission flag";
}

TEST(Kernel, SearchFindsTheDeviceAndShowsItsIdentity) {
    device::DeviceLink link(bench->platform);
    ASSERT_TRUE(link.findTheHid());
    EXPECT_EQ(link.devicePath(), *pathOf(Application));
    EXPECT_EQ(link.attributes(), Application);
    EXPECT_EQ(link.featureReportLength(), 65);
    EXPECT_FALSE(link.permissionDenied());
    const device::IdentityCaptions captions = device::readIdentityCaptions(link);
    EXPECT_TRUE(captions.enableUpdate);
    EXPECT_EQ(captions.product, " Widget Mk2");
    EXPECT_EQ(captions.serialNumber, " SN-4711");
    EXPECT_FALSE(captions.manufacturer);  // no manufacturer string: the label stays as it was
    EXPECT_FALSE(captions.version);
}

TEST(Kernel, DumpReadsTheFlashBlockByBlock) {
    device::DeviceLink link(bench->platform);
    ASSERT_TRUE(link.findTheHid());
    QuietHost host;
    const std::size_t first = bench->device.requestCount();
    const auto started = std::chrono::steady_clock::now();
    const auto result = operations(link, host).dump();
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(result.outcome, firmware::Outcome::Succeeded) << result.message;
    std::printf("dump of %zu blocks took %lld ms\n", DumpBlockCount,
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));

    const auto requests = requestsSince(first);
    ASSERT_EQ(requests.size(), 1 + DumpBlockCount);
    EXPECT_EQ(requests[0].bytes[CommandPosition], StartCommand);
    EXPECT_TRUE(std::all_of(requests.begin() + 1, requests.end(), [](const DeviceRequest& r) {
        return r.kind == DeviceRequest::Kind::GetFeature && !r.failed;
    }));
    EXPECT_EQ(readFile(bench->folder / firmware::DumpFileName),
              slice(bench->device.model().flash(), 0, DumpBlockCount * BlockSize));
}

TEST(Kernel, UpdateSendsStartEraseRecordsAndFinish) {
    device::DeviceLink link(bench->platform);
    ASSERT_TRUE(link.findTheHid());
    const Bytes image = patternBytes(85, 0x31);  // 85 div 40 + 1 = 3 records
    writeFile(bench->folder / firmware::UpdateImageName, image);
    QuietHost host;
    const std::size_t first = bench->device.requestCount();
    const auto result = operations(link, host).update();
    ASSERT_EQ(result.outcome, firmware::Outcome::Succeeded) << result.message;
    EXPECT_FALSE(link.isOpen());

    const auto requests = requestsSince(first);
    ASSERT_EQ(requests.size(), 6u);  // start, erase, three records, finish
    const Bytes count = {3, 0, 0, 0};
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const Bytes& sent = requests[i].bytes;
        ASSERT_EQ(sent.size(), 65u) << "report " << i;
        EXPECT_EQ(sent[0], ReportId);
        if (i >= 1) {
            EXPECT_EQ(slice(sent, CountPosition, CountSize), count) << "report " << i;
        }
        if (i >= 2) {
            const Bytes expected = record(image, std::min<std::size_t>(i - 2, 2));
            EXPECT_EQ(slice(sent, WriteRecordPosition, ImageRecordSize), expected) << i;
        }
    }
    EXPECT_EQ(requests[0].bytes[CommandPosition], StartCommand);
    EXPECT_EQ(requests[1].bytes[CommandPosition], EraseCommand);
    EXPECT_EQ(requests[2].bytes[CommandPosition], WriteRecordCommand);
    EXPECT_EQ(requests[5].bytes[CommandPosition], FinishCommand);

    const ProtocolDevice model = bench->device.model();
    EXPECT_TRUE(model.finishedComplete());
    Bytes written = image;
    written.resize(3 * ImageRecordSize, 0);
    EXPECT_EQ(slice(model.flash(), 0, written.size()), written);
}

TEST(Kernel, TransferFailureStopsTheUpdateThere) {
    device::DeviceLink link(bench->platform);
    ASSERT_TRUE(link.findTheHid());
    writeFile(bench->folder / firmware::UpdateImageName, patternBytes(200, 0x52));
    QuietHost host;
    const std::size_t first = bench->device.requestCount();
    bench->device.failRequestsFrom(first + 3);  // start, erase, record 1; record 2 fails
    const auto result = operations(link, host).update();
    bench->device.failRequestsFrom(std::nullopt);

    EXPECT_EQ(result.outcome, firmware::Outcome::TransferFailed);
    EXPECT_FALSE(result.message.empty());
    std::printf("message: %s\n", result.message.c_str());
    const auto requests = requestsSince(first);
    ASSERT_EQ(requests.size(), 4u) << "nothing may follow the failed record";
    EXPECT_TRUE(requests[3].failed);
    EXPECT_EQ(requests[3].bytes[CommandPosition], WriteRecordCommand);
    EXPECT_FALSE(bench->device.model().finishedComplete());
    EXPECT_FALSE(link.isOpen());
}

// The application node is held open through the restart, so the bootloader comes back under
// another node name: the search finds it by its IDs, and the stale descriptor is dead.
TEST(Kernel, UpgradeFindsTheBootloaderByIdsAndDownloads) {
    device::DeviceLink link(bench->platform);
    ASSERT_TRUE(link.findTheHid());
    const std::string applicationPath = link.devicePath();
    const auto held = bench->platform.open(applicationPath, OpenMode::Plain).handle;
    ASSERT_TRUE(held);
    const Bytes image = patternBytes(100, 0x07);  // two records and a partial third
    writeFile(bench->folder / firmware::DownloadImageName, image);
    QuietHost host;
    const std::size_t first = bench->device.requestCount();
    const auto result = operations(link, host).upgrade();
    ASSERT_EQ(result.outcome, firmware::Outcome::Succeeded) << result.message;
    EXPECT_TRUE(host.unloaded);
    EXPECT_EQ(link.attributes().productId, BootloaderProductId);
    std::printf("application at %s, bootloader at %s\n", applicationPath.c_str(),
                link.devicePath().c_str());
    EXPECT_NE(link.devicePath(), applicationPath);
    Bytes start(65, 0);
    start[CommandPosition] = StartCommand;
    EXPECT_FALSE(bench->platform.setFeature(*held, start));
    EXPECT_TRUE(bench->platform.close(*held));

    EXPECT_EQ(bench->device.mode(), DeviceMode::Bootloader);
    EXPECT_EQ(bench->device.creations(), 2);
    const auto requests = requestsSince(first);
    ASSERT_EQ(requests.size(), 4u);  // the magic, then three records
    EXPECT_EQ(slice(requests[0].bytes, CommandPosition, EnterBootloaderMagic.size()),
              Bytes(EnterBootloaderMagic.begin(), EnterBootloaderMagic.end()));
    Bytes padded = image;
    padded.resize(3 * ImageRecordSize, 0);
    EXPECT_EQ(bench->device.model().bootloaderImage(), padded);
}

// The protocol has feature reports only: an output report (write() on the node) never went out.
TEST(Kernel, NoRequestOfTheWholeRunWasAnythingButAFeatureReport) {
    const auto requests = bench->device.requests();
    EXPECT_GT(requests.size(), DumpBlockCount);  // the whole run went through this device
    EXPECT_TRUE(std::none_of(requests.begin(), requests.end(), [](const DeviceRequest& r) {
        return r.kind == DeviceRequest::Kind::Other;
    }));
    EXPECT_EQ(bench->platform.openHandleCount(), 0);
}

}  // namespace

int runKernelTests(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    Bench devices;
    std::string error;
    fs::create_directories(devices.folder);
    if (!devices.keyboard.create(ForeignIdentity, error) || !devices.device.start(error)) {
        std::printf("cannot make the uhid devices: %s\n", error.c_str());
        return 1;
    }
    bench = &devices;
    if (!waitForNode(Application) || !waitForNode(Foreign)) {
        std::printf("the hidraw nodes of the uhid devices did not appear\n");
        return 1;
    }
    const int failed = RUN_ALL_TESTS();
    bench = nullptr;
    return failed;
}

}  // namespace fwu::kerneltest

int main(int argc, char** argv) {
    const int failed = fwu::kerneltest::runKernelTests(argc, argv);
    std::fflush(stdout);
    return failed == 0 ? 0 : 1;
}
