// The dump: the flash into its file by way of the partial file, and what becomes of both when
// it stops; the verification, which reads the flash as the dump does; and the exclusive create
// of the partial file that never follows a link.
#include "platform/file_system.h"

#include <gtest/gtest.h>

#include "device/protocol.h"
#include "operations_fixture.h"

namespace fwu::firmware::testing {
namespace {

// A link planted at the partial file's path: to a file, or dangling.
enum class Link { None, ToFile, Dangling };
// How a flash read ends: it runs through, a block read fails, the device leaves, the user
// cancels, or a block's answer is too short (35 bytes); a verification also when a block differs
// from the image, and it runs through right after an update on the same link.
enum class End { Done, Fail, Unplug, Cancel, Short, Differ, AfterUpdate };

// Cancels at the `at`-th event pass when the case ends so.
void cancelAt(OperationRig& rig, End end, std::size_t at) {
    rig.host.onCall = [&rig, end, at](const HostCall& call) {
        if (end == End::Cancel && call.call == Call::ProcessEvents &&
            rig.host.count(Call::ProcessEvents) == at)
            rig.host.cancel = true;
    };
}

TEST(Dump, ReplacesTheEarlierDumpOnlyWhenEveryBlockWasReadAndKeepsWhatWasReadAside) {
    struct Case {
        std::size_t blocks;
        std::size_t earlierSize;  // 0: no earlier Ombrel.bin
        Link link;
        End end;
        std::size_t at;  // the block where it stops
        const char* says;
    };
    const Case cases[] = {
        {4, 0, Link::None, End::Done, 4, ""},
        {32'768, 2'000'000, Link::None, End::Done, 32'768, ""},
        {4, 0, Link::ToFile, End::Done, 4, ""},
        {4, 0, Link::Dangling, End::Done, 4, ""},
        {64, 100, Link::None, End::Fail, 37, "did not answer the read of block 38 of 64"},
        {64, 100, Link::None, End::Fail, 0, "block 1 of 64"},
        {64, 100, Link::None, End::Unplug, 20, "block 21 of 64"},
        {64, 100, Link::None, End::Cancel, 10, "cancelled after 10 of 64"},
        {64, 100, Link::None, End::Short, 0, "block 1 of 64 with 35 bytes"}};
    for (const auto& [blocks, earlierSize, link, end, at, says] : cases) {
        if (link != Link::None && !canCreateSymlinks())
            continue;  // mingw's library cannot plant links on Windows
        SCOPED_TRACE(::testing::Message() << static_cast<int>(end) << " at " << at);
        OperationRig rig;
        rig.settings.dumpBlockCount = blocks;
        DeviceConfig config;
        // Request 0 is the start report; block k is request k + 1.
        if (end == End::Fail)
            config.faults.failTransfersFrom = at + 1;
        if (end == End::Unplug)
            config.faults.unplugAtRequest = at + 1;
        if (end == End::Short)
            config.faults.shortBlockReads = 35;
        rig.plugIn(config);
        cancelAt(rig, end, at);
        const fs::path dumpFile = rig.file(DumpFileName);
        const fs::path partialFile = rig.file("Ombrel.bin.part");
        const Bytes earlier = imageBytes(earlierSize, 3);
        if (earlierSize > 0)
            writeFile(dumpFile, earlier);
        const fs::path victim = rig.file("victim");
        if (link == Link::ToFile)
            writeFile(victim, {1, 2});
        if (link != Link::None)
            fs::create_symlink(victim, partialFile);

        const OperationResult result = rig.operations().run(Operation::Dump);

        const Bytes flash = rig.bus.state(rig.devicePath).flash;
        const Bytes read(flash.begin(), flash.begin() + static_cast<long>(at * 32));
        const bool done = end == End::Done;
        EXPECT_EQ(result.outcome, done                 ? Outcome::Succeeded
                                  : end == End::Cancel ? Outcome::Cancelled
                                                       : Outcome::TransferFailed);
        EXPECT_NE(result.message.find(says), std::string::npos) << result.message;
        EXPECT_EQ(readFile(dumpFile), done ? read : earlier);
        EXPECT_FALSE(fs::is_symlink(dumpFile));
        EXPECT_EQ(fs::exists(partialFile), !done && at > 0);
        if (!done && at > 0) {
            EXPECT_EQ(readFile(partialFile), read);
            EXPECT_NE(result.message.find("Ombrel.bin.part"), std::string::npos);
        }
        EXPECT_EQ(readFile(victim), (link == Link::ToFile ? Bytes{1, 2} : Bytes{}));  // or none
        EXPECT_EQ(rig.reportsSent(), std::vector<Bytes>{expectedReport(65, {0, 1})});
        EXPECT_EQ(rig.bus.transcript().size(), 1 + at + (done || end == End::Cancel ? 0 : 1));
        EXPECT_EQ(rig.host.texts(Call::SetStatusText),
                  (done ? std::vector<std::string>{"", "Done"} : std::vector<std::string>{""}));
        EXPECT_EQ(rig.host.texts(Call::ShowError),
                  done ? std::vector<std::string>{} : std::vector{result.message});
        EXPECT_TRUE(rig.link.isOpen());  // the dump leaves the connection as it was
        // Per block 32 advances at the block's index over the last index, then one event pass;
        // "Done" only at the end of a dump that read every block.
        EXPECT_EQ(rig.host.count(Call::AdvanceProgress), 32 * at);
        EXPECT_EQ(rig.host.count(Call::ProcessEvents), at);
        EXPECT_TRUE(rig.host.endsWith(
            done ? std::vector{Call::SetStatusText, Call::ClearProgress, Call::BusyChanged}
                 : std::vector{Call::ClearProgress, Call::ShowError, Call::BusyChanged}));
        if (blocks == 4) {
            EXPECT_EQ(rig.host.progressSteps(), "shown 0/3 1/3 2/3 3/3 cleared");
        }
    }
}

// The flash holds the image as the update writes it: whole records, the last one zero-padded.
// A byte of it may be changed to 0xFF at `flawAt`.
TEST(Verify, ComparesTheFlashWithTheImageAsWrittenOrStopsSayingWhere) {
    struct Case {
        std::size_t imageSize;
        End end;
        std::size_t at;  // the blocks that matched before it ended
        const char* says;
        std::size_t flawAt = 0;
    };
    const Case cases[] = {
        // 3 records, 120 bytes: the last block is compared up to its byte 24 only.
        {85, End::Done, 4, ""},
        {protocol::FlashSize, End::Done, 32'768, ""},  // padding past the flash is not read
        {400, End::AfterUpdate, 14, ""},
        {85, End::Differ, 1,
         "Velnor.bin at offset 37 (0x25): the update writes 0x0A there, the device holds "
         "0xFF. Its firmware is not this image: run the update again",
         37},
        {85, End::Differ, 2, "offset 85 (0x55): the update writes 0x00 there", 85},
        {400, End::Fail, 5, "did not answer the read of block 6 of 14. The first 5 blocks matched"},
        {400, End::Unplug, 3, "block 4 of 14"},
        {400, End::Cancel, 2, "cancelled after 2 of 14 blocks"},
        {400, End::Short, 0, "block 1 of 14 with 35 bytes"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "case " << &c - cases);
        OperationRig rig;
        const Bytes image = imageBytes(c.imageSize);
        writeFile(rig.file(UpdateImageName), image);
        Bytes written = image;
        written.resize((image.size() / 40 + 1) * 40, 0);
        if (c.end == End::Differ)
            written[c.flawAt] = 0xFF;
        DeviceConfig config;
        if (c.end != End::AfterUpdate)
            config.initialFlash = written;
        if (c.end == End::Fail)
            config.faults.failTransfersFrom = c.at + 1;  // request 0 is the start report
        if (c.end == End::Unplug)
            config.faults.unplugAtRequest = c.at + 1;
        if (c.end == End::Short)
            config.faults.shortBlockReads = 35;
        rig.plugIn(config);
        cancelAt(rig, c.end, c.at);
        if (c.end == End::AfterUpdate) {
            ASSERT_EQ(rig.operations().run(Operation::Update).outcome, Outcome::Succeeded);
            rig.bus.clearTranscript();
            rig.host.calls.clear();
        }

        const OperationResult result = rig.operations().run(Operation::Verify);

        const bool done = c.end == End::Done || c.end == End::AfterUpdate;
        EXPECT_EQ(result.outcome, done                   ? Outcome::Succeeded
                                  : c.end == End::Differ ? Outcome::Mismatch
                                  : c.end == End::Cancel ? Outcome::Cancelled
                                                         : Outcome::TransferFailed);
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        EXPECT_EQ(rig.reportsSent(), std::vector<Bytes>{expectedReport(65, {0, 1})});
        EXPECT_EQ(rig.bus.transcript().size(), 1 + c.at + (done || c.end == End::Cancel ? 0 : 1));
        EXPECT_EQ(rig.host.texts(Call::ShowError),
                  done ? std::vector<std::string>{} : std::vector{result.message});
        EXPECT_EQ(rig.host.count(Call::AdvanceProgress), 32 * c.at);
        EXPECT_TRUE(rig.host.endsWith(
            done ? std::vector{Call::ClearProgress, Call::BusyChanged}
                 : std::vector{Call::ClearProgress, Call::ShowError, Call::BusyChanged}));
        if (c.at == 4) {
            EXPECT_EQ(rig.host.progressSteps(), "shown 0/3 1/3 2/3 3/3 cleared");
        }
        EXPECT_EQ(rig.bus.openHandleCount(), 2);  // open again after the update, and left open
    }
}

TEST(PlatformFiles, CreatesOnlyAFileThatDoesNotExistAndNeverFollowsALink) {
    if (!canCreateSymlinks())
        GTEST_SKIP() << "this system cannot create symbolic links";
    // A link planted at the path, and a file at the path or at the link's target.
    const std::pair<Link, bool> cases[] = {
        {Link::None, false}, {Link::None, true}, {Link::ToFile, true}, {Link::Dangling, false}};
    for (const auto& [planted, fileThere] : cases) {
        TempFolder folder;
        const fs::path path = folder.path() / "new";
        const fs::path target = folder.path() / "target";
        if (fileThere)
            writeFile(planted == Link::None ? path : target, {1, 2});
        if (planted != Link::None)
            fs::create_symlink(target, path);
        const bool free = planted == Link::None && !fileThere;

        // The name itself in the folder, as the dump's partial file is made: no link followed.
        std::error_code error;
        platform::PlaceProblem problem;
        const auto place =
            platform::FilePlace::find(folder.path() / ".", problem)->sibling("new", error);
        auto file = place->createNew(std::nullopt, error);

        EXPECT_EQ(file.has_value(), free);
        EXPECT_EQ(static_cast<bool>(error), !free);
        if (file) {
            EXPECT_TRUE(file->write(Bytes{3}, error) && file->close(error));
        }
        EXPECT_EQ(readFile(path), (free ? Bytes{3} : fileThere ? Bytes{1, 2} : Bytes{}));
    }
}

}  // namespace
}  // namespace fwu::firmware::testing
