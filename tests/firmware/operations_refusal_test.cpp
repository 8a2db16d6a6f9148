// What every operation refuses before it sends anything, the guards around all of them, and the
// two service commands.
#include <gtest/gtest.h>

#include <limits>

#include "device/protocol.h"
#include "operations_fixture.h"

namespace fwu::firmware::testing {
namespace {

constexpr auto Update = &FirmwareOperations::update;
constexpr auto Download = &FirmwareOperations::download;
constexpr auto Upgrade = &FirmwareOperations::upgrade;
constexpr auto Dump = &FirmwareOperations::dump;
constexpr auto EraseChip = &FirmwareOperations::eraseChip;
constexpr auto EnterBootloader = &FirmwareOperations::enterBootloader;
constexpr OperationCall AllOperations[] = {Update, Download,  Upgrade,
                                           Dump,   EraseChip, EnterBootloader};

// Without a device (no search ran) nothing is sent and nothing is said; the update retires its
// button and labels all the same.
TEST(Operations, RefuseBeforeSendingAnythingAndChangeNothing) {
    struct Case {
        const char* name;
        OperationCall run;
        std::intmax_t imageSize;     // of the operation's image; -1: none
        const char* folderAt;        // a folder planted at this path of the program's folder
        std::uint16_t reportLength;  // 0: the device was never searched for
        Outcome outcome;
        const char* says;
    };
    constexpr auto File = Outcome::FileProblem;
    constexpr auto Short = Outcome::ReportTooShort;
    constexpr auto None = Outcome::NoDevice;
    const Case cases[] = {
        {"update: missing", Update, -1, nullptr, 65, File, "Cannot find"},
        {"update: a folder", Update, -1, UpdateImageName, 65, File, "is not a file"},
        {"update: empty", Update, 0, nullptr, 65, File, "is empty"},
#ifndef _WIN32  // sparse: never read (Windows would allocate it)
        {"update: one byte past the 32-bit count", Update,
         std::intmax_t{std::numeric_limits<std::int32_t>::max()} * 40, nullptr, 65, File,
         "larger than"},
#endif
        {"update: report of 48 bytes", Update, 80, nullptr, 48, Short, "at least 49"},
        {"download: missing", Download, -1, nullptr, 65, File, "Cannot find"},
        {"download: empty", Download, 0, nullptr, 65, File, "is empty"},
        {"download: past the 16-bit count", Download, 1'310'680, nullptr, 65, File,
         "1310679 bytes"},
        {"download: report of 40 bytes", Download, 80, nullptr, 40, Short, "at least 41"},
        // The upgrade checks the image before it switches the device.
        {"upgrade: missing", Upgrade, -1, nullptr, 65, File, "Cannot find"},
        {"upgrade: past the 16-bit count", Upgrade, 1'310'680, nullptr, 65, File, "1310679 bytes"},
        {"dump: report of 35 bytes", Dump, -1, nullptr, 35, Short, "at least 36"},
        {"dump: a folder at the partial file's path", Dump, -1, "Ombrel.bin.part/in", 65, File,
         "Cannot create"},
        {"erase chip: report of 3 bytes", EraseChip, -1, nullptr, 3, Short, ""},
        {"bootloader: report of 3 bytes", EnterBootloader, -1, nullptr, 3, Short, ""},
        {"update: no device", Update, 80, nullptr, 0, None, ""},
        {"download: no device", Download, 80, nullptr, 0, None, ""},
        {"upgrade: no device", Upgrade, 80, nullptr, 0, None, ""},
        {"dump: no device", Dump, -1, nullptr, 0, None, ""},
        {"erase chip: no device", EraseChip, -1, nullptr, 0, None, ""},
        {"bootloader: no device", EnterBootloader, -1, nullptr, 0, None, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OperationRig rig;
        if (c.reportLength > 0)
            rig.plugIn(c.reportLength,
                       c.run == Download ? DeviceMode::Bootloader : DeviceMode::Application);
        else
            rig.bus.addDevice({});
        const fs::path image = rig.file(c.run == Update ? UpdateImageName : DownloadImageName);
        if (c.imageSize >= 0) {
            writeFile(image, {});
            fs::resize_file(image, static_cast<std::uintmax_t>(c.imageSize));
        }
        if (c.folderAt)
            fs::create_directories(rig.file(c.folderAt));

        const OperationResult result = (rig.operations().*c.run)();

        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_FALSE(fs::exists(rig.file(DumpFileName)));
        if (c.outcome == None) {
            EXPECT_TRUE(result.message.empty());
            std::vector<Call> calls = {Call::BusyChanged, Call::BusyChanged};
            if (c.run == Update)
                calls.insert(calls.begin() + 1,
                             {Call::DisableUpdateButton, Call::ClearProductAndVersion});
            EXPECT_EQ(rig.host.sequence(), calls);
            EXPECT_EQ(rig.bus.openCount(), 0);
            continue;
        }
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        rig.expectRefusedQuietly(result);
        EXPECT_TRUE(rig.link.isOpen());  // nothing changed: the operation can run once fixed
    }
}

TEST(Operations, NoneStartsWhileAnotherRuns) {
    OperationRig rig;
    rig.plugIn();
    writeFile(rig.file(UpdateImageName), imageBytes(80));
    std::vector<OperationResult> nested;
    rig.host.onCall = [&](const HostCall& call) {
        if (call.call != Call::AdvanceProgress || !nested.empty())
            return;
        EXPECT_TRUE(rig.operations().busy());
        for (const auto run : AllOperations)
            nested.push_back((rig.operations().*run)());
    };

    EXPECT_EQ(rig.operations().update().outcome, Outcome::Succeeded);

    ASSERT_EQ(nested.size(), std::size(AllOperations));
    for (const auto& result : nested) {
        EXPECT_EQ(result.outcome, Outcome::Busy);
        EXPECT_FALSE(result.message.empty());
    }
    EXPECT_EQ(rig.reportsSent().size(), 6u);  // start, erase, three records, finish
    EXPECT_EQ(rig.host.count(Call::BusyChanged), 2u);
    EXPECT_FALSE(rig.operations().busy());
}

TEST(ServiceCommands, SendExactlyOneReportOrReportTheFailedSend) {
    const auto& magic = protocol::EnterBootloaderMagic;
    const std::pair<OperationCall, Bytes> commands[] = {
        {EraseChip, {0, 4, 0, 0}}, {EnterBootloader, {0, magic[0], magic[1], magic[2]}}};
    for (const auto& [run, head] : commands) {
        for (const std::uint16_t length : {4, 65, 0}) {  // 0: the transfer fails
            OperationRig rig;
            DeviceConfig config;
            config.featureReportLength = length ? length : 65;
            config.faults.failTransfersFrom = length ? std::nullopt : std::optional(0u);
            rig.plugIn(config);

            const OperationResult result = (rig.operations().*run)();

            EXPECT_EQ(result.outcome, length ? Outcome::Succeeded : Outcome::TransferFailed);
            EXPECT_EQ(rig.reportsSent(),
                      std::vector<Bytes>{expectedReport(length ? length : 65, head)});
            EXPECT_EQ(rig.host.texts(Call::ShowError).size(), length ? 0u : 1u);
            EXPECT_TRUE(rig.link.isOpen());
        }
    }
}

}  // namespace
}  // namespace fwu::firmware::testing
