#include <algorithm>
#include <set>

#include "platform/simulated/simulated_device.h"
#include "simulated_test_support.h"

namespace fwu::platform::simulated::testing {
namespace {

const Bytes Start = command(protocol::StartCommand);
const Bytes Finish = command(protocol::FinishCommand);

Bytes erase(Bytes count, std::size_t length = ReportLength) {
    return report({{protocol::CommandPosition, {protocol::EraseCommand}},
                   {protocol::CountPosition, std::move(count)}},
                  length);
}

TEST_F(SimulatedBusTest, UpdateWritesRecordsInOrderAndJudgesTheFinish) {
    struct Run {
        std::optional<Bytes> count;  // nothing: no erase
        int records;
        bool complete;
    } runs[] = {{Bytes{3, 0, 0, 0}, 3, true},  {Bytes{3, 0, 0, 0}, 2, false},
                {Bytes{3, 0, 0, 0}, 4, false}, {Bytes{0, 0, 0, 0}, 0, true},
                {Bytes(4, 0xFF), 0, false},    {std::nullopt, 0, false}};
    for (const Run& run : runs) {
        SCOPED_TRACE(::testing::Message() << run.records << " records, erase " << !!run.count);
        plug();
        ASSERT_TRUE(send(Start));
        if (run.count) {
            ASSERT_TRUE(send(erase(*run.count)));
        }
        for (int i = 0; i < run.records; ++i)
            ASSERT_TRUE(send(writeRecord(i * 50)));
        ASSERT_TRUE(send(Finish));

        EXPECT_TRUE(state().finished);
        EXPECT_EQ(state().finishedComplete, run.complete);
        EXPECT_EQ(state().recordsReceived, static_cast<std::uint64_t>(run.records));
        Bytes expected;
        for (int i = 0; i < run.records; ++i) {
            const Bytes record = recordBytes(i * 50);
            expected.insert(expected.end(), record.begin(), record.end());
        }
        if (run.count)
            expected.push_back(0xFF);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), state().flash.begin()));
    }
}

TEST_F(SimulatedBusTest, EraseEmptiesTheFlashAndTakesTheCountLittleEndian) {
    const struct {
        Bytes report;
        std::int32_t count;
    } erases[] = {{erase({0xE8, 0x03, 0, 0}), 1000},
                  {erase({0, 0, 0, 0x80}), INT32_MIN},
                  {erase({0xE8, 0x03, 0, 0}, 4), 0}};
    plug();
    for (const auto& [bytes, count] : erases) {
        ASSERT_TRUE(send(bytes));
        EXPECT_EQ(state().announcedRecordCount, count);
    }
    EXPECT_EQ(state().flash, Bytes(protocol::FlashSize, 0xFF));
    EXPECT_EQ(state().eraseCount, 3u);
}

TEST_F(SimulatedBusTest, StartResetsTheSequence) {
    plug();
    for (const Bytes& bytes : {erase({1, 0, 0, 0}), writeRecord(1), Finish, Start}) {
        ASSERT_TRUE(send(bytes));
    }
    Bytes answer(ReportLength, 0);
    ASSERT_TRUE(fetch(answer));
    ASSERT_TRUE(send(Start));
    EXPECT_EQ(state().writePosition + state().readPosition + state().recordsReceived, 0u);
    EXPECT_FALSE(state().announcedRecordCount.has_value());
    EXPECT_FALSE(state().finished || state().finishedComplete);
}

TEST_F(SimulatedBusTest, WritesStopAtTheFlashEnd) {
    plug();
    const std::size_t fullRecords = protocol::FlashSize / protocol::ImageRecordSize;
    for (std::size_t i = 0; i < fullRecords + 2; ++i)
        ASSERT_TRUE(send(writeRecord(7)));
    EXPECT_EQ(state().writePosition, protocol::FlashSize);
    EXPECT_EQ(state().recordsReceived, fullRecords + 2);
    const auto tail = static_cast<std::ptrdiff_t>(protocol::FlashSize % protocol::ImageRecordSize);
    const Bytes record = recordBytes(7);
    EXPECT_TRUE(std::equal(record.begin(), record.begin() + tail, state().flash.end() - tail));
}

TEST_F(SimulatedBusTest, RefusesReportsTooShortForTheirCommand) {
    const struct {
        DeviceMode mode;
        Bytes bytes;
        bool accepted;
    } cases[] = {{DeviceMode::Application, {}, false},
                 {DeviceMode::Application, {0}, false},
                 {DeviceMode::Application, {1, protocol::StartCommand}, false},
                 {DeviceMode::Application, command(9), false},
                 {DeviceMode::Application, command(protocol::StartCommand, 2), true},
                 {DeviceMode::Application, writeRecord(1, 48), false},
                 {DeviceMode::Application, writeRecord(1, 49), true},
                 {DeviceMode::Application, enterBootloader(3), false},
                 {DeviceMode::Bootloader, bootloaderRecord(1, 40), false},
                 {DeviceMode::Bootloader, bootloaderRecord(1, 41), true},
                 {DeviceMode::Bootloader, {}, false}};
    for (const auto& [mode, bytes, accepted] : cases) {
        SCOPED_TRACE(::testing::Message() << bytes.size() << " bytes");
        DeviceConfig config;
        config.mode = mode;
        plug(config);
        EXPECT_EQ(send(bytes), accepted);
        EXPECT_TRUE(state().present);
        if (accepted)
            continue;
        EXPECT_EQ(state().recordsReceived, 0u);
        EXPECT_TRUE(state().bootloaderImage.empty());
        EXPECT_FALSE(state().started);
    }
}

TEST_F(SimulatedBusTest, BlockReadsAnswerSuccessiveBlocksAmidNonZeroFiller) {
    const struct {
        std::uint16_t reportLength;
        std::size_t requestLength;
        std::optional<std::size_t> shortBlockReads;
        std::size_t delivered;
    } reads[] = {
        {65, 65, {}, 65}, {65, 66, {}, 65}, {65, 40, {}, 40}, {20, 65, {}, 20}, {65, 65, 10, 10}};
    for (const auto& read : reads) {
        SCOPED_TRACE(::testing::Message() << read.reportLength << "/" << read.requestLength);
        DeviceConfig config;
        config.featureReportLength = read.reportLength;
        config.faults.shortBlockReads = read.shortBlockReads;
        plug(config);
        Bytes answer(read.requestLength, 0);
        EXPECT_FALSE(fetch(answer)) << "a block read before any start";
        ASSERT_TRUE(send(Start));
        Bytes empty;
        EXPECT_FALSE(fetch(empty)) << "no room even for the report ID";
        const Bytes flash = state().flash;
        const bool wholeFlash = &read == reads;
        const std::size_t blocks = wholeFlash ? protocol::BlockCount : 3;
        std::set<Bytes> distinct;
        for (std::size_t block = 0; block < blocks; ++block) {
            std::fill(answer.begin(), answer.end(), 0);
            ASSERT_EQ(fetch(answer), read.delivered);
            for (std::size_t position = 1; position < answer.size(); ++position) {
                const std::size_t offset = position - protocol::BlockDataPosition;
                if (position >= read.delivered) {
                    EXPECT_EQ(answer[position], 0) << position;
                } else if (offset < protocol::BlockSize) {
                    EXPECT_EQ(answer[position], flash[block * protocol::BlockSize + offset]);
                } else {
                    EXPECT_NE(answer[position], 0) << "filler at " << position;
                }
            }
            distinct.emplace(answer.begin() + 4, answer.begin() + 36);
        }
        EXPECT_EQ(state().readPosition, blocks * protocol::BlockSize);
        if (wholeFlash) {
            EXPECT_FALSE(fetch(answer)) << "past the flash end";
            EXPECT_EQ(flash, initialFlashContents(std::nullopt)) << "the pattern repeats";
            EXPECT_EQ(distinct.size(), protocol::BlockCount) << "every block differs";
        }
    }
}

TEST(InitialFlash, GivenContentsArePaddedOrCut) {
    Bytes padded(protocol::FlashSize, 0xFF);
    std::copy_n(Bytes{1, 2, 3}.begin(), 3, padded.begin());
    EXPECT_EQ(initialFlashContents(Bytes{1, 2, 3}), padded);
    EXPECT_EQ(initialFlashContents(Bytes(protocol::FlashSize + 5, 7)),
              Bytes(protocol::FlashSize, 7));
}

TEST_F(SimulatedBusTest, BootloaderTakesEveryReportAsARecordAndAnswersNone) {
    DeviceConfig config;
    config.mode = DeviceMode::Bootloader;
    plug(config);
    ASSERT_TRUE(send(bootloaderRecord(1)));
    ASSERT_TRUE(send(enterBootloader()));
    Bytes answer(ReportLength, 0);
    EXPECT_FALSE(fetch(answer));
    Bytes expected = recordBytes(1);
    const Bytes magic = enterBootloader();
    expected.insert(expected.end(), magic.begin() + 1, magic.begin() + 41);
    EXPECT_EQ(state().bootloaderImage, expected);
    EXPECT_TRUE(state().present);
}

}  // namespace
}  // namespace fwu::platform::simulated::testing
