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

// Busy, status "", the bar shown; per block 32 advances at the block index over the last index
// then one event pass; then "Done", the bar cleared, not busy.
void expectDumpProgress(const std::vector<HostCall>& calls) {
    ASSERT_EQ(calls.size(), 3 + 2 * 32'768u + 3);
    EXPECT_EQ(calls[2].call, Call::ShowProgress);
    for (std::size_t block = 0; block < 32'768; ++block) {
        const HostCall& advance = calls[3 + 2 * block];
        ASSERT_EQ(advance.call, Call::AdvanceProgress);
        ASSERT_EQ(advance.done, static_cast<std::int64_t>(block));
        ASSERT_EQ(advance.total, 32'767);
        ASSERT_EQ(advance.times, 32u);
        ASSERT_EQ(advance.width, static_cast<float>(5055.0 * static_cast<double>(block) / 32767.0));
        ASSERT_EQ(calls[4 + 2 * block].call, Call::ProcessEvents);
    }
    EXPECT_EQ(calls[3 + 2 * 32'767].width, 5055.0f);
    EXPECT_EQ(calls[calls.size() - 2].call, Call::ClearProgress);
}

TEST(Dump, WritesTheWholeFlashInPlaceOfAnyEarlierDump) {
    for (const std::size_t earlierSize : {0, 2'000'000}) {  // 0: no earlier Ombrel.bin
        SCOPED_TRACE(earlierSize);
        DumpRig rig;
        rig.plugIn();
        if (earlierSize > 0)
            writeFile(rig.dumpFile(), imageBytes(earlierSize, 3));

        const OperationResult result = rig.operations().dump();

        EXPECT_EQ(result.outcome, Outcome::Succeeded) << result.message;
        EXPECT_EQ(readFile(rig.dumpFile()), rig.flash(1024 * 1024));
        EXPECT_FALSE(fs::exists(rig.partialFile()));
        EXPECT_EQ(rig.reportsSent(), std::vector<Bytes>{expectedReport(65, {0, 1, 0, 0, 0})});
        EXPECT_EQ(rig.answersRead().size(), 32'768u);
        EXPECT_EQ(rig.host.texts(Call::SetStatusText), (std::vector<std::string>{"", "Done"}));
        expectDumpProgress(rig.host.calls);
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
        EXPECT_EQ(rig.answersRead().size(), c.stopAtBlock + (c.cancel ? 0 : 1));
        EXPECT_EQ(rig.transfersAfterFirstFailure(), 0u);
        EXPECT_EQ(rig.host.texts(Call::SetStatusText), std::vector<std::string>{""});
        EXPECT_EQ(rig.host.texts(Call::ShowError), std::vector<std::string>{result.message});
        EXPECT_EQ(rig.host.sequence()[rig.host.calls.size() - 3], Call::ClearProgress);
    }
}

TEST(Dump, NeverFollowsALinkPlantedAtThePartialFile) {
    if (!canCreateSymlinks())
        GTEST_SKIP() << "this system cannot create symbolic links";
    for (const bool targetExists : {true, false}) {
        SCOPED_TRACE(targetExists ? "link to a file" : "dangling link");
        DumpRig rig;
        rig.settings.dumpBlockCount = 4;
        rig.plugIn();
        TempFolder elsewhere;
        const fs::path victim = elsewhere.path() / "victim";
        if (targetExists)
            writeFile(victim, {1, 2});
        fs::create_symlink(victim, rig.partialFile());

        EXPECT_EQ(rig.operations().dump().outcome, Outcome::Succeeded);

        EXPECT_EQ(readFile(rig.dumpFile()), rig.flash(4 * 32));
        EXPECT_FALSE(fs::is_symlink(rig.dumpFile()));
        EXPECT_EQ(fs::exists(victim), targetExists);
        if (targetExists) {
            EXPECT_EQ(readFile(victim), (Bytes{1, 2}));
        }
    }
}

}  // namespace
}  // namespace fwu::firmware::testing
