// The dump: the flash into its file by way of the partial file, and what becomes of both when
// it stops; and the exclusive create of the partial file that never follows a link.
#include "platform/file_system.h"

#include <gtest/gtest.h>

#include "operations_fixture.h"

namespace fwu::firmware::testing {
namespace {

struct DumpRig : OperationRig {
    fs::path dumpFile() const { return file(DumpFileName); }
    fs::path partialFile() const { return folder.path() / "Ombrel.bin.part"; }
    Bytes flash(std::size_t bytes) const {
        const Bytes all = bus.state(devicePath).flash;
        return Bytes(all.begin(), all.begin() + static_cast<long>(bytes));
    }
};

// A link planted at the partial file's path is never followed: its target stays as it was.
TEST(Dump, WritesTheWholeFlashInPlaceOfAnyEarlierDumpThenSaysDone) {
    enum class Link { None, ToFile, Dangling };
    const std::tuple<std::size_t, std::size_t, Link> cases[] = {
        {4, 0, Link::None},  // no earlier Ombrel.bin
        {32'768, 2'000'000, Link::None},
        {4, 0, Link::ToFile},
        {4, 0, Link::Dangling},
    };
    for (const auto& [blocks, earlierSize, link] : cases) {
        if (link != Link::None && !canCreateSymlinks())
            continue;  // mingw's library cannot plant links on Windows
        SCOPED_TRACE(static_cast<int>(link) * 100'000 + blocks);
        DumpRig rig;
        rig.settings.dumpBlockCount = blocks;
        rig.plugIn();
        if (earlierSize > 0)
            writeFile(rig.dumpFile(), imageBytes(earlierSize, 3));
        TempFolder elsewhere;
        const fs::path victim = elsewhere.path() / "victim";
        if (link == Link::ToFile)
            writeFile(victim, {1, 2});
        if (link != Link::None)
            fs::create_symlink(victim, rig.partialFile());

        EXPECT_EQ(rig.operations().dump().outcome, Outcome::Succeeded);

        EXPECT_EQ(readFile(rig.dumpFile()), rig.flash(blocks * 32));
        EXPECT_FALSE(fs::is_symlink(rig.dumpFile()));
        EXPECT_FALSE(fs::exists(rig.partialFile()));
        EXPECT_EQ(fs::exists(victim), link == Link::ToFile);
        if (link == Link::ToFile) {
            EXPECT_EQ(readFile(victim), (Bytes{1, 2}));
        }
        EXPECT_EQ(rig.reportsSent(), std::vector<Bytes>{expectedReport(65, {0, 1, 0, 0, 0})});
        EXPECT_EQ(rig.bus.transcript().size(), 1 + blocks);
        EXPECT_EQ(rig.host.texts(Call::SetStatusText), (std::vector<std::string>{"", "Done"}));
        // Per block 32 advances at the block's index over the last index, then one event pass.
        std::vector<Call> calls = {Call::BusyChanged, Call::SetStatusText, Call::ShowProgress};
        for (std::size_t block = 0; block < blocks; ++block)
            calls.insert(calls.end(), {Call::AdvanceProgress, Call::ProcessEvents});
        calls.insert(calls.end(), {Call::SetStatusText, Call::ClearProgress, Call::BusyChanged});
        EXPECT_EQ(rig.host.sequence(), calls);
        EXPECT_EQ(rig.host.count(Call::AdvanceProgress), 32 * blocks);
        if (blocks == 4) {
            EXPECT_EQ(rig.host.barWidths(), (std::vector<float>{0, 0, 1685, 3370, 5055, 0}));
        }
        EXPECT_TRUE(rig.link.isOpen());  // the dump leaves the connection as it was
    }
}

TEST(Dump, AStopLeavesTheEarlierDumpUntouchedAndTheBlocksReadInThePartialFile) {
    struct Case {
        const char* name;
        std::size_t stopAtBlock;
        bool cancel;
        bool unplug;
        std::optional<std::size_t> shortBlockReads;
        const char* says;
    };
    const Case cases[] = {
        {"read fails at block 37",
         37,
         false,
         false,
         {},
         "did not answer the read of block 38 of 64"},
        {"read fails at block 0", 0, false, false, {}, "block 1 of 64"},
        {"unplugged at block 20", 20, false, true, {}, "block 21 of 64"},
        {"cancelled at block 10", 10, true, false, {}, "cancelled after 10 of 64"},
        {"an answer too short for its block", 0, false, false, 35, "block 1 of 64 with 35 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DumpRig rig;
        rig.settings.dumpBlockCount = 64;
        DeviceConfig config;
        config.faults.shortBlockReads = c.shortBlockReads;
        if (!c.cancel && !c.shortBlockReads) {
            // Request 0 is the start report; block k is request k + 1.
            (c.unplug ? config.faults.unplugAtRequest : config.faults.failTransfersFrom) =
                c.stopAtBlock + 1;
        }
        rig.plugIn(config);
        rig.host.onCall = [&](const HostCall& call) {
            if (c.cancel && call.call == Call::ProcessEvents &&
                rig.host.count(Call::ProcessEvents) == c.stopAtBlock)
                rig.host.cancel = true;
        };
        const Bytes earlier = imageBytes(100, 7);
        writeFile(rig.dumpFile(), earlier);

        const OperationResult result = rig.operations().dump();

        EXPECT_EQ(result.outcome, c.cancel ? Outcome::Cancelled : Outcome::TransferFailed);
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        EXPECT_EQ(readFile(rig.dumpFile()), earlier);
        if (c.stopAtBlock > 0) {
            EXPECT_EQ(readFile(rig.partialFile()), rig.flash(c.stopAtBlock * 32));
            EXPECT_NE(result.message.find("Ombrel.bin.part"), std::string::npos);
        } else {
            EXPECT_FALSE(fs::exists(rig.partialFile()));
        }
        EXPECT_EQ(rig.bus.transcript().size(), 1 + c.stopAtBlock + (c.cancel ? 0 : 1));
        rig.expectNothingAfterAFailure();
        EXPECT_EQ(rig.host.texts(Call::SetStatusText), std::vector<std::string>{""});
        EXPECT_EQ(rig.host.texts(Call::ShowError), std::vector<std::string>{result.message});
        EXPECT_TRUE(rig.host.endsWith({Call::ClearProgress, Call::ShowError, Call::BusyChanged}));
    }
}

TEST(PlatformFiles, CreatesOnlyAFileThatDoesNotExistAndNeverFollowsALink) {
    if (!canCreateSymlinks())
        GTEST_SKIP() << "this system cannot create symbolic links";
    enum class Planted { Nothing, File, LinkToFile, DanglingLink };
    for (const Planted planted :
         {Planted::Nothing, Planted::File, Planted::LinkToFile, Planted::DanglingLink}) {
        SCOPED_TRACE(static_cast<int>(planted));
        TempFolder folder;
        const fs::path path = folder.path() / "new";
        const fs::path target = folder.path() / "target";
        if (planted == Planted::File || planted == Planted::LinkToFile)
            writeFile(planted == Planted::File ? path : target, {1, 2});
        if (planted == Planted::LinkToFile || planted == Planted::DanglingLink)
            fs::create_symlink(target, path);

        std::error_code error;
        auto file = platform::NewFile::create(path, error);

        EXPECT_EQ(file.has_value(), planted == Planted::Nothing);
        EXPECT_EQ(static_cast<bool>(error), planted != Planted::Nothing);
        if (file) {
            EXPECT_TRUE(file->write(Bytes{3}, error) && file->close(error));
            EXPECT_EQ(readFile(path), Bytes{3});
        }
        EXPECT_EQ(fs::exists(target), planted == Planted::LinkToFile);
        if (planted != Planted::Nothing) {
            EXPECT_EQ(readFile(planted == Planted::File ? path : target),
                      (planted == Planted::DanglingLink ? Bytes{} : Bytes{1, 2}));
        }
    }
}

}  // namespace
}  // namespace fwu::firmware::testing
