#include <gtest/gtest.h>

#include "operations_fixture.h"

namespace fwu::firmware::testing {
namespace {

constexpr std::size_t FlashBytes = 1024 * 1024;

struct DumpRig : OperationRig {
    fs::path dumpFile() const { return file(DumpFileName); }
    fs::path partialFile() const { return folder.path() / "Ombrel.bin.part"; }
    Bytes flash(std::size_t bytes) const {
        const Bytes all = bus.state(devicePath).flash;
        return Bytes(all.begin(), all.begin() + static_cast<long>(bytes));
    }
};

TEST(Dump, WritesTheWholeFlashInPlaceOfAnyEarlierDump) {
    struct Case {
        const char* name;
        std::size_t earlierSize;  // 0: no earlier Ombrel.bin
    };
    const Case cases[] = {{"no earlier dump", 0}, {"a longer earlier dump", 2'000'000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DumpRig rig;
        rig.plugIn();
        if (c.earlierSize > 0)
            writeFile(rig.dumpFile(), imageBytes(c.earlierSize, 3));

        const OperationResult result = rig.operations().dump();

        EXPECT_EQ(result.outcome, Outcome::Succeeded) << result.message;
        EXPECT_EQ(readFile(rig.dumpFile()), rig.flash(FlashBytes));
        EXPECT_FALSE(fs::exists(rig.partialFile()));
        EXPECT_EQ(rig.reportsSent(), std::vector<Bytes>{expectedReport(65, {0, 1, 0, 0, 0})});
        EXPECT_EQ(rig.answersRead().size(), 32'768u);
        EXPECT_EQ(rig.host.texts(Call::SetStatusText), (std::vector<std::string>{"", "Done"}));
        EXPECT_TRUE(rig.link.isOpen());  // the dump leaves the connection as it was
    }
}

TEST(Dump, AdvancesThirtyTwoTimesPerBlockAtTheBlockIndexOverTheLastIndex) {
    DumpRig rig;
    rig.plugIn();

    rig.operations().dump();

    const auto& calls = rig.host.calls;
    // Busy, status "", the bar shown; per block 32 advances then one event pass; then "Done",
    // the bar cleared, not busy.
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
    EXPECT_EQ(calls[3].width, 0.0f);
    EXPECT_EQ(calls[3 + 2 * 32'767].width, 5055.0f);
    EXPECT_EQ(calls[calls.size() - 3].text, "Done");
    EXPECT_EQ(calls[calls.size() - 2].call, Call::ClearProgress);
}

TEST(Dump, AStopLeavesTheEarlierDumpUntouchedAndTheBlocksReadInThePartialFile) {
    struct Case {
        const char* name;
        std::size_t stopAtBlock;
        bool cancel;
        bool unplug;
        Outcome outcome;
        const char* says;
    };
    const Case cases[] = {
        {"read fails at block 37", 37, false, false, Outcome::TransferFailed,
         "did not answer the read of block 38 of 64"},
        {"read fails at block 0", 0, false, false, Outcome::TransferFailed, "block 1 of 64"},
        {"unplugged at block 20", 20, false, true, Outcome::TransferFailed, "block 21 of 64"},
        {"cancelled at block 10", 10, true, false, Outcome::Cancelled, "cancelled after 10 of 64"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DumpRig rig;
        rig.settings.dumpBlockCount = 64;
        DeviceConfig config;
        if (!c.cancel) {
            // Request 0 is the start report; block k is request k + 1.
            (c.unplug ? config.faults.unplugAtRequest : config.faults.failTransfersFrom) =
                c.stopAtBlock + 1;
        }
        rig.plugIn(config);
        rig.host.onCall = [&](const HostCall& call) {
            if (c.cancel && call.call == Call::ProcessEvents &&
                rig.host.count(Call::ProcessEvents) == c.stopAtBlock) {
                rig.host.cancel = true;
            }
        };
        const Bytes earlier = imageBytes(100, 7);
        writeFile(rig.dumpFile(), earlier);

        const OperationResult result = rig.operations().dump();

        EXPECT_EQ(result.outcome, c.outcome);
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

TEST(Dump, StopsAtABlockAnswerTooShortToCarryItsBytes) {
    DumpRig rig;
    DeviceConfig config;
    config.faults.shortBlockReads = 35;
    rig.plugIn(config);

    const OperationResult result = rig.operations().dump();

    EXPECT_EQ(result.outcome, Outcome::TransferFailed);
    EXPECT_NE(result.message.find("block 1 of 32768 with 35 bytes"), std::string::npos)
        << result.message;
    EXPECT_EQ(rig.answersRead().size(), 1u);
    EXPECT_FALSE(fs::exists(rig.dumpFile()));
}

TEST(Dump, RefusesBeforeTheStartReportWhenTheReportOrTheFolderCannotWork) {
    struct Case {
        const char* name;
        std::uint16_t reportLength;
        std::function<void(DumpRig&)> prepare;
        Outcome outcome;
        const char* says;
    };
    const Case cases[] = {
        {"report of 35 bytes", 35, [](DumpRig&) {}, Outcome::ReportTooShort, "at least 36"},
        {"folder gone", 65, [](DumpRig& rig) { fs::remove_all(rig.folder.path()); },
         Outcome::FileProblem, "Cannot create"},
        {"a folder at the partial file's path", 65,
         [](DumpRig& rig) { fs::create_directories(rig.partialFile() / "inside"); },
         Outcome::FileProblem, "Cannot create"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DumpRig rig;
        rig.plugIn(rig.withReportLength(c.reportLength));
        c.prepare(rig);

        const OperationResult result = rig.operations().dump();

        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        rig.expectRefusedQuietly(result);
        EXPECT_FALSE(fs::exists(rig.dumpFile()));
    }
}

TEST(Dump, NeverFollowsALinkPlantedAtThePartialFile) {
    if (!canCreateSymlinks())
        GTEST_SKIP() << "this system cannot create symbolic links";
    struct Case {
        const char* name;
        bool targetExists;
    };
    const Case cases[] = {{"link to a file", true}, {"dangling link", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DumpRig rig;
        rig.settings.dumpBlockCount = 4;
        rig.plugIn();
        TempFolder elsewhere;
        const fs::path victim = elsewhere.path() / "victim";
        const Bytes victimBytes = imageBytes(50, 11);
        if (c.targetExists)
            writeFile(victim, victimBytes);
        fs::create_symlink(victim, rig.partialFile());

        EXPECT_EQ(rig.operations().dump().outcome, Outcome::Succeeded);

        EXPECT_EQ(readFile(rig.dumpFile()), rig.flash(4 * 32));
        EXPECT_FALSE(fs::is_symlink(rig.dumpFile()));
        if (c.targetExists) {
            EXPECT_EQ(readFile(victim), victimBytes);
        } else {
            EXPECT_FALSE(fs::exists(victim));
        }
    }
}

}  // namespace
}  // namespace fwu::firmware::testing
