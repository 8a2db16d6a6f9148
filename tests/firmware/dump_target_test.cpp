// What the dump writes into: a file, never a device, a folder or a pipe; the file a link names;
// and, on Windows, a file that another program holds open for a moment.
#include <gtest/gtest.h>

#include <thread>

#include "firmware/dump_file.h"
#include "firmware/messages.h"
#include "operations_fixture.h"
#include "platform/file_system.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

namespace fwu::firmware::testing {
namespace {

constexpr std::size_t DumpBlocks = 4;

OperationResult dumpInto(OperationRig& rig, const fs::path& target, DeviceConfig config = {}) {
    rig.settings.dumpBlockCount = DumpBlocks;
    rig.plugIn(config);
    return FirmwareOperations(rig.link, rig.host, ProgramFiles{rig.folder.path(), {}, {}, target},
                              rig.settings)
        .run(Operation::Dump);
}

Bytes flashPrefix(const OperationRig& rig, std::size_t blocks) {
    const Bytes flash = rig.bus.state(rig.devicePath).flash;
    return Bytes(flash.begin(), flash.begin() + static_cast<long>(blocks * 32));
}

TEST(DumpTarget, WhatIsNoFileIsRefusedBeforeTheDeviceIsAsked) {
    TempFolder scratch;
    const fs::path folder = scratch.path();
    fs::create_directory(folder / "folder");
#ifdef _WIN32
    const std::vector<fs::path> targets = {"NUL", "CON", "COM1.txt", folder / "lpt2.bin",
                                           folder / "folder"};
#else
    // Devices of the folder's own, never the system's: a failing check replaces what it names.
    ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0600), 0);
    std::vector<fs::path> targets = {folder / "fifo", folder / "folder"};
    if (mknod((folder / "null").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0)
        targets.push_back(folder / "null");  // where this user may make device nodes
#endif
    for (const fs::path& target : targets) {
        SCOPED_TRACE(target.string());
        OperationRig rig;
        const OperationResult result = dumpInto(rig, target);
        EXPECT_EQ(result.outcome, Outcome::FileProblem);
        EXPECT_EQ(result.message, messages::dumpTargetNotAFile(target));
        rig.expectRefusedQuietly(result);
        EXPECT_FALSE(fs::exists(DumpFile::partialPathFor(target)));
    }
}

// The file a link names is replaced, in its own folder; the link stays a link.
TEST(DumpTarget, ALinkIsFollowedToTheFileItNames) {
    if (!canCreateSymlinks())
        GTEST_SKIP() << "this system cannot create symbolic links";
    for (const bool stopped : {false, true}) {
        SCOPED_TRACE(stopped ? "the dump stops" : "the dump completes");
        OperationRig rig;
        TempFolder elsewhere;
        const fs::path file = elsewhere.path() / "kept.bin", link = rig.file("link.bin");
        writeFile(file, {1, 2, 3});
        fs::create_symlink(file, link);
        DeviceConfig config;
        if (stopped)
            config.faults.failTransfersFrom = 3;  // request 0 is the start report

        const OperationResult result = dumpInto(rig, link, config);

        EXPECT_EQ(result.outcome, stopped ? Outcome::TransferFailed : Outcome::Succeeded);
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(readFile(stopped ? DumpFile::partialPathFor(file) : file),
                  flashPrefix(rig, stopped ? 2 : DumpBlocks));
        EXPECT_FALSE(fs::exists(DumpFile::partialPathFor(link)));
    }
}

TEST(PlatformFiles, AWriteThatTakesNoBytesFailsInsteadOfLooping) {
    int calls = 0;
    std::error_code error;
    const auto takesNothing = [&](std::span<const std::uint8_t>, std::error_code& failure) {
        failure = std::make_error_code(std::errc::interrupted);  // from the third call
        return ++calls < 3 ? std::optional<std::size_t>(0) : std::nullopt;
    };
    EXPECT_FALSE(platform::writeInParts(Bytes(10, 1), takesNothing, error));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(error, std::make_error_code(std::errc::io_error));
}

#ifdef _WIN32
// A virus scanner or an indexer opens a new file for a moment without letting it be deleted or
// replaced: the dump waits for it a little, then says where the complete dump is.
TEST(DumpTarget, AFileAnotherProgramHoldsIsWaitedForAMoment) {
    const std::tuple<const char*, int, Outcome> cases[] = {
        {"Ombrel.bin", 100, Outcome::Succeeded},
        {"Ombrel.bin.part", 100, Outcome::Succeeded},
        {"Ombrel.bin", 1500, Outcome::FileProblem},
    };
    for (const auto& [held, milliseconds, expected] : cases) {
        SCOPED_TRACE(held);
        OperationRig rig;
        writeFile(rig.file(held), {1});
        const HANDLE handle = CreateFileW(rig.file(held).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                          nullptr, OPEN_EXISTING, 0, nullptr);
        std::thread release([&, milliseconds] {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
            CloseHandle(handle);
        });
        const OperationResult result = dumpInto(rig, rig.file(DumpFileName));
        release.join();

        EXPECT_EQ(result.outcome, expected) << result.message;
        const fs::path complete = expected == Outcome::Succeeded
                                      ? rig.file(DumpFileName)
                                      : DumpFile::partialPathFor(rig.file(DumpFileName));
        EXPECT_EQ(readFile(complete), flashPrefix(rig, DumpBlocks));
        EXPECT_EQ(result.message.find(messages::displayPath(complete)) == std::string::npos,
                  expected == Outcome::Succeeded);
    }
}
#endif

}  // namespace
}  // namespace fwu::firmware::testing
