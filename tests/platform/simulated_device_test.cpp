#include <algorithm>
#include <set>
#include <string>

#include "platform/simulated/simulated_device.h"
#include "simulated_test_support.h"

namespace fwu::platform::simulated::testing {
namespace {

struct UpdateRun {
    const char* name;
    bool erase;
    std::uint32_t announced;
    int recordsSent;
    bool complete;
};

class UpdateRunTest : public SimulatedBusTest, public ::testing::WithParamInterface<UpdateRun> {};

TEST_P(UpdateRunTest, WritesRecordsInOrderAndJudgesTheFinish) {
    const UpdateRun& run = GetParam();
    plug();
    ASSERT_TRUE(send(commandReport(protocol::StartCommand)));
    if (run.erase) {
        ASSERT_TRUE(send(eraseReport(run.announced)));
    }
    for (int i = 0; i < run.recordsSent; ++i) {
        ASSERT_TRUE(send(writeRecordReport(static_cast<std::uint8_t>(i * 50))));
    }
    ASSERT_TRUE(send(commandReport(protocol::FinishCommand)));

    const DeviceState state = deviceState();
    EXPECT_TRUE(state.finished);
    EXPECT_EQ(state.finishedComplete, run.complete);
    EXPECT_EQ(state.recordsReceived, static_cast<std::uint64_t>(run.recordsSent));
    const std::size_t written =
        protocol::ImageRecordSize * static_cast<std::size_t>(run.recordsSent);
    EXPECT_EQ(state.writePosition, written);
    for (int i = 0; i < run.recordsSent; ++i) {
        const Bytes record = recordBytes(static_cast<std::uint8_t>(i * 50));
        EXPECT_TRUE(std::equal(record.begin(), record.end(),
                               state.flash.begin() + i * protocol::ImageRecordSize))
            << "record " << i;
    }
    if (run.erase) {
        EXPECT_EQ(state.flash[written], 0xFF);
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, UpdateRunTest,
                         ::testing::Values(UpdateRun{"AllAnnounced", true, 3, 3, true},
                                           UpdateRun{"OneMissing", true, 3, 2, false},
                                           UpdateRun{"OneTooMany", true, 3, 4, false},
                                           UpdateRun{"BareEraseNoRecords", true, 0, 0, true},
                                           UpdateRun{"NegativeCount", true, 0xFFFFFFFF, 0, false},
                                           UpdateRun{"NoErase", false, 0, 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatedBusTest, EraseReadsTheCountLittleEndianAndAShortEraseAsZero) {
    plug();
    ASSERT_TRUE(send(eraseReport(1000)));
    EXPECT_EQ(deviceState().announcedRecordCount, 1000);
    EXPECT_EQ(deviceState().flash, Bytes(protocol::FlashSize, 0xFF));
    ASSERT_TRUE(send(eraseReport(0x80000000u)));
    EXPECT_EQ(deviceState().announcedRecordCount, INT32_MIN);
    ASSERT_TRUE(send(eraseReport(1000, 4)));
    EXPECT_EQ(deviceState().announcedRecordCount, 0);
    EXPECT_EQ(deviceState().eraseCount, 3u);
}

TEST_F(SimulatedBusTest, StartResetsTheSequence) {
    plug();
    for (const Bytes& report :
         {eraseReport(1), writeRecordReport(1), commandReport(protocol::FinishCommand),
          commandReport(protocol::StartCommand)}) {
        ASSERT_TRUE(send(report));
    }
    Bytes answer(ReportLength, 0);
    ASSERT_TRUE(fetch(answer));
    ASSERT_TRUE(send(commandReport(protocol::StartCommand)));
    const DeviceState state = deviceState();
    EXPECT_EQ(state.writePosition, 0u);
    EXPECT_EQ(state.readPosition, 0u);
    EXPECT_EQ(state.recordsReceived, 0u);
    EXPECT_FALSE(state.announcedRecordCount.has_value());
    EXPECT_FALSE(state.finished || state.finishedComplete);
}

TEST_F(SimulatedBusTest, WritesStopAtTheFlashEnd) {
    plug();
    ASSERT_TRUE(send(commandReport(protocol::StartCommand)));
    const std::size_t fullRecords = protocol::FlashSize / protocol::ImageRecordSize;
    for (std::size_t i = 0; i < fullRecords + 2; ++i)
        ASSERT_TRUE(send(writeRecordReport(7)));
    const DeviceState state = deviceState();
    EXPECT_EQ(state.writePosition, protocol::FlashSize);
    EXPECT_EQ(state.recordsReceived, fullRecords + 2);
    const std::size_t tail = protocol::FlashSize % protocol::ImageRecordSize;
    const Bytes record = recordBytes(7);
    EXPECT_TRUE(std::equal(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(tail),
                           state.flash.end() - static_cast<std::ptrdiff_t>(tail)));
}

struct ShortReport {
    const char* name;
    DeviceMode mode;
    Bytes report;
    bool accepted;
};

constexpr DeviceMode App = DeviceMode::Application;
constexpr DeviceMode Boot = DeviceMode::Bootloader;

class ShortReportTest : public SimulatedBusTest,
                        public ::testing::WithParamInterface<ShortReport> {};

TEST_P(ShortReportTest, RefusesWhatACommandCannotFitIn) {
    DeviceConfig config;
    config.mode = GetParam().mode;
    plug(config);
    EXPECT_EQ(send(GetParam().report), GetParam().accepted);
    const DeviceState state = deviceState();
    EXPECT_TRUE(state.present);
    if (!GetParam().accepted) {
        EXPECT_EQ(state.recordsReceived, 0u);
        EXPECT_TRUE(state.bootloaderImage.empty());
        EXPECT_FALSE(state.started);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Reports, ShortReportTest,
    ::testing::Values(ShortReport{"Empty", App, {}, false},
                      ShortReport{"OnlyReportId", App, {0}, false},
                      ShortReport{"ReportIdNotZero", App, {1, protocol::StartCommand}, false},
                      ShortReport{"UnknownCommand", App, commandReport(9), false},
                      ShortReport{"BareStart", App, commandReport(protocol::StartCommand, 2), true},
                      ShortReport{"WriteRecord48", App, writeRecordReport(1, 48), false},
                      ShortReport{"WriteRecord49", App, writeRecordReport(1, 49), true},
                      ShortReport{"MagicCutShort", App, enterBootloaderReport(3), false},
                      ShortReport{"Bootloader40", Boot, bootloaderRecordReport(1, 40), false},
                      ShortReport{"Bootloader41", Boot, bootloaderRecordReport(1, 41), true},
                      ShortReport{"BootloaderEmpty", Boot, {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct BlockRead {
    const char* name;
    std::uint16_t featureReportLength;
    std::size_t requestLength;
    std::optional<std::size_t> shortBlockReads;
    std::size_t delivered;
};

class BlockReadTest : public SimulatedBusTest, public ::testing::WithParamInterface<BlockRead> {};

TEST_P(BlockReadTest, AnswersSuccessiveBlocksAmidNonZeroFiller) {
    const BlockRead& read = GetParam();
    DeviceConfig config;
    config.featureReportLength = read.featureReportLength;
    config.faults.shortBlockReads = read.shortBlockReads;
    plug(config);
    Bytes answer(read.requestLength, 0);
    EXPECT_FALSE(fetch(answer)) << "a block read before any start";
    ASSERT_TRUE(send(commandReport(protocol::StartCommand)));

    const Bytes& flash = deviceState().flash;
    for (std::size_t block = 0; block < 3; ++block) {
        std::fill(answer.begin(), answer.end(), 0);
        ASSERT_EQ(fetch(answer), read.delivered);
        for (std::size_t position = 1; position < read.delivered; ++position) {
            if (position < protocol::BlockDataPosition ||
                position >= protocol::BlockDataPosition + protocol::BlockSize) {
                EXPECT_NE(answer[position], 0) << "filler at " << position;
            } else {
                EXPECT_EQ(
                    answer[position],
                    flash[block * protocol::BlockSize + position - protocol::BlockDataPosition]);
            }
        }
        EXPECT_TRUE(std::all_of(answer.begin() + static_cast<std::ptrdiff_t>(read.delivered),
                                answer.end(), [](std::uint8_t byte) { return byte == 0; }));
    }
    EXPECT_EQ(deviceState().readPosition, 3 * protocol::BlockSize);
}

INSTANTIATE_TEST_SUITE_P(Lengths, BlockReadTest,
                         ::testing::Values(BlockRead{"Full", 65, 65, {}, 65},
                                           BlockRead{"LongerRequest", 65, 66, {}, 65},
                                           BlockRead{"ShorterRequest", 65, 40, {}, 40},
                                           BlockRead{"ShortReportLength", 20, 65, {}, 20},
                                           BlockRead{"ShortAnswers", 65, 65, 10, 10}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatedBusTest, BlockReadsEndWithTheFlash) {
    plug();
    ASSERT_TRUE(send(commandReport(protocol::StartCommand)));
    Bytes answer(ReportLength, 0);
    Bytes dump;
    for (std::size_t block = 0; block < protocol::BlockCount; ++block) {
        ASSERT_TRUE(fetch(answer));
        dump.insert(dump.end(), answer.begin() + 4, answer.begin() + 36);
    }
    EXPECT_FALSE(fetch(answer));
    EXPECT_EQ(dump, deviceState().flash);
}

TEST_F(SimulatedBusTest, BootloaderModeAppendsEveryReportAsARecord) {
    DeviceConfig config;
    config.mode = DeviceMode::Bootloader;
    plug(config);
    ASSERT_TRUE(send(bootloaderRecordReport(1)));
    ASSERT_TRUE(send(enterBootloaderReport()));
    Bytes answer(ReportLength, 0);
    EXPECT_FALSE(fetch(answer));

    Bytes expected = recordBytes(1);
    const Bytes magic = enterBootloaderReport();
    expected.insert(expected.end(), magic.begin() + 1, magic.begin() + 41);
    EXPECT_EQ(deviceState().bootloaderImage, expected);
    EXPECT_TRUE(deviceState().present);
}

TEST(InitialFlash, PatternRepeatsAndEveryBlockDiffers) {
    const Bytes pattern = initialFlashContents(std::nullopt);
    EXPECT_EQ(pattern, initialFlashContents(std::nullopt));
    std::set<Bytes> blocks;
    for (std::size_t offset = 0; offset < pattern.size(); offset += protocol::BlockSize) {
        blocks.emplace(pattern.begin() + static_cast<std::ptrdiff_t>(offset),
                       pattern.begin() + static_cast<std::ptrdiff_t>(offset + protocol::BlockSize));
    }
    EXPECT_EQ(blocks.size(), protocol::BlockCount);
}

TEST(InitialFlash, GivenContentsArePaddedOrCut) {
    const Bytes padded = initialFlashContents(Bytes{1, 2, 3});
    EXPECT_EQ(Bytes(padded.begin(), padded.begin() + 4), (Bytes{1, 2, 3, 0xFF}));
    EXPECT_EQ(padded.size(), protocol::FlashSize);
    EXPECT_EQ(initialFlashContents(Bytes(protocol::FlashSize + 5, 7)),
              Bytes(protocol::FlashSize, 7));
}

}  // namespace
}  // namespace fwu::platform::simulated::testing
