// What every operation refuses before it sends anything, and the guards around all of them.
#include <gtest/gtest.h>

#include <limits>

#include "operations_fixture.h"

namespace fwu::firmware::testing {
namespace {

using OperationCall = OperationResult (FirmwareOperations::*)();

const std::pair<const char*, OperationCall> AllOperations[] = {
    {"update", &FirmwareOperations::update},
    {"download", &FirmwareOperations::download},
    {"upgrade", &FirmwareOperations::upgrade},
    {"dump", &FirmwareOperations::dump},
    {"erase chip", &FirmwareOperations::eraseChip},
    {"bootloader", &FirmwareOperations::enterBootloader},
};

std::function<void(OperationRig&)> imageOf(const char* name, std::size_t size) {
    return [=](OperationRig& rig) { writeFile(rig.file(name), imageBytes(size)); };
}

TEST(Operations, RefuseBeforeSendingAnythingAndChangeNothing) {
    struct Case {
        const char* name;
        OperationCall run;
        std::function<void(OperationRig&)> prepare;
        std::uint16_t reportLength;
        DeviceMode mode;
        Outcome outcome;
        const char* says;
    };
    const auto nothing = [](OperationRig&) {};
    const auto folderAt = [](const char* name) {
        return [=](OperationRig& rig) { fs::create_directories(rig.file(name)); };
    };
    constexpr auto App = DeviceMode::Application;
    constexpr auto Boot = DeviceMode::Bootloader;
    const auto update = &FirmwareOperations::update;
    const auto download = &FirmwareOperations::download;
    const auto upgrade = &FirmwareOperations::upgrade;
    const auto dump = &FirmwareOperations::dump;
    const Case cases[] = {
        {"update: missing", update, nothing, 65, App, Outcome::FileProblem, "Cannot find"},
        {"update: a folder", update, folderAt(UpdateImageName), 65, App, Outcome::FileProblem,
         "is not a file"},
        {"update: empty", update, imageOf(UpdateImageName, 0), 65, App, Outcome::FileProblem,
         "is empty"},
#ifndef _WIN32
        // One byte more than a 32-bit count of record reads can hold; sparse, never read.
        // (Windows files are not sparse unless marked so: the size would be allocated.)
        {"update: past the 32-bit count", update,
         [](OperationRig& rig) {
             writeFile(rig.file(UpdateImageName), {});
             fs::resize_file(rig.file(UpdateImageName),
                             std::uintmax_t{std::numeric_limits<std::int32_t>::max()} * 40);
         },
         65, App, Outcome::FileProblem, "larger than"},
#endif
        {"update: report of 48 bytes", update, imageOf(UpdateImageName, 80), 48, App,
         Outcome::ReportTooShort, "at least 49"},
        {"download: missing", download, nothing, 65, Boot, Outcome::FileProblem, "Cannot find"},
        {"download: a folder", download, folderAt(DownloadImageName), 65, Boot,
         Outcome::FileProblem, "not a file"},
        {"download: empty", download, imageOf(DownloadImageName, 0), 65, Boot, Outcome::FileProblem,
         "is empty"},
        {"download: past the 16-bit count", download, imageOf(DownloadImageName, 1'310'680), 65,
         Boot, Outcome::FileProblem, "1310679 bytes"},
        {"download: report of 40 bytes", download, imageOf(DownloadImageName, 80), 40, Boot,
         Outcome::ReportTooShort, "at least 41"},
        // The upgrade checks the image before it switches the device: no busy caption, no unload.
        {"upgrade: missing", upgrade, nothing, 65, App, Outcome::FileProblem, "Cannot find"},
        {"upgrade: past the 16-bit count", upgrade, imageOf(DownloadImageName, 1'310'680), 65, App,
         Outcome::FileProblem, "1310679 bytes"},
        {"dump: report of 35 bytes", dump, nothing, 35, App, Outcome::ReportTooShort,
         "at least 36"},
        {"dump: folder gone", dump, [](OperationRig& rig) { fs::remove_all(rig.folder.path()); },
         65, App, Outcome::FileProblem, "Cannot create"},
        {"dump: a folder at the partial file's path", dump,
         [](OperationRig& rig) { fs::create_directories(rig.file("Ombrel.bin.part") / "in"); }, 65,
         App, Outcome::FileProblem, "Cannot create"},
        {"erase chip: report of 3 bytes", &FirmwareOperations::eraseChip, nothing, 3, App,
         Outcome::ReportTooShort, ""},
        {"bootloader: report of 3 bytes", &FirmwareOperations::enterBootloader, nothing, 3, App,
         Outcome::ReportTooShort, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OperationRig rig;
        rig.plugIn(rig.withReportLength(c.reportLength, c.mode));
        c.prepare(rig);

        const OperationResult result = (rig.operations().*c.run)();

        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        rig.expectRefusedQuietly(result);
        EXPECT_TRUE(rig.link.isOpen());  // nothing changed: the operation can run once fixed
        EXPECT_FALSE(fs::exists(rig.file(DumpFileName)));
    }
}

TEST(Operations, WithoutADeviceDoNothingButTheUpdatesClosingSteps) {
    for (const auto& [name, run] : AllOperations) {
        SCOPED_TRACE(name);
        OperationRig rig;
        rig.bus.addDevice({});  // present, but the search never ran
        imageOf(UpdateImageName, 80)(rig);
        imageOf(DownloadImageName, 80)(rig);

        const OperationResult result = (rig.operations().*run)();

        EXPECT_EQ(result.outcome, Outcome::NoDevice);
        EXPECT_TRUE(result.message.empty());
        std::vector<Call> calls = {Call::BusyChanged, Call::BusyChanged};
        if (run == &FirmwareOperations::update)
            calls.insert(calls.begin() + 1,
                         {Call::DisableUpdateButton, Call::ClearProductAndVersion});
        EXPECT_EQ(rig.host.sequence(), calls);
        EXPECT_TRUE(rig.bus.transcript().empty());
        EXPECT_EQ(rig.bus.openCount(), 0);
        EXPECT_FALSE(fs::exists(rig.file(DumpFileName)));
    }
}

TEST(Operations, NoneStartsWhileAnotherRuns) {
    OperationRig rig;
    rig.plugIn();
    imageOf(UpdateImageName, 80)(rig);
    std::vector<OperationResult> nested;
    rig.host.onCall = [&](const HostCall& call) {
        if (call.call != Call::AdvanceProgress || !nested.empty())
            return;
        EXPECT_TRUE(rig.operations().busy());
        for (const auto& [name, run] : AllOperations)
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

}  // namespace
}  // namespace fwu::firmware::testing
