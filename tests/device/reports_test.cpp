#include "device/reports.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

namespace fwu::device {
namespace {

constexpr std::uint8_t Untouched = 0xCC;

ImageRecord numberedRecord() {
    ImageRecord record{};
    for (std::size_t i = 0; i < record.size(); ++i)
        record[i] = static_cast<std::uint8_t>(i + 1);
    return record;
}

struct LayoutCase {
    const char* name;
    std::function<bool(std::span<std::uint8_t>)> build;
    std::map<std::size_t, std::uint8_t> expected;  // every position the layout writes
    std::size_t minimumBuffer;
};

std::map<std::size_t, std::uint8_t> commandBytes(std::uint8_t command) {
    return {{0, 0}, {1, command}, {2, 0}, {3, 0}, {4, 0}};
}

std::vector<LayoutCase> layoutCases() {
    const ImageRecord record = numberedRecord();
    auto writeRecord = commandBytes(2);
    auto bootRecord = std::map<std::size_t, std::uint8_t>{{0, 0}};
    for (std::size_t k = 0; k < 40; ++k) {
        writeRecord[9 + k] = static_cast<std::uint8_t>(k + 1);
        bootRecord[1 + k] = static_cast<std::uint8_t>(k + 1);
    }
    auto countedErase = commandBytes(4);
    countedErase.insert({{5, 0xE8}, {6, 0x03}, {7, 0x00}, {8, 0x00}});
    const auto& magic = protocol::EnterBootloaderMagic;
    return {
        {"start", [](auto b) { return writeStartReport(b); }, commandBytes(1), 5},
        {"erase without count", [](auto b) { return writeEraseReport(b); }, commandBytes(4), 5},
        {"erase with count 1000", [](auto b) { return writeEraseReport(b, 1000); }, countedErase,
         9},
        {"write record", [record](auto b) { return writeWriteRecordReport(b, record); },
         writeRecord, 49},
        {"finish", [](auto b) { return writeFinishReport(b); }, commandBytes(3), 5},
        {"enter bootloader",
         [](auto b) { return writeEnterBootloaderReport(b); },
         {{0, 0}, {1, magic[0]}, {2, magic[1]}, {3, magic[2]}, {4, 0}},
         5},
        {"bootloader record", [record](auto b) { return writeBootloaderRecordReport(b, record); },
         bootRecord, 41},
    };
}

TEST(ReportLayouts, EachBuilderWritesExactlyItsPositions) {
    for (const auto& layout : layoutCases()) {
        SCOPED_TRACE(layout.name);
        std::vector<std::uint8_t> buffer(64, Untouched);
        ASSERT_TRUE(layout.build(buffer));
        for (std::size_t position = 0; position < buffer.size(); ++position) {
            const auto expected = layout.expected.find(position);
            const std::uint8_t want =
                expected == layout.expected.end() ? Untouched : expected->second;
            EXPECT_EQ(buffer[position], want) << "position " << position;
        }
    }
}

TEST(ReportLayouts, EachBuilderRefusesABufferTooSmallAndWritesNothing) {
    for (const auto& layout : layoutCases()) {
        SCOPED_TRACE(layout.name);
        std::vector<std::uint8_t> exact(layout.minimumBuffer, Untouched);
        EXPECT_TRUE(layout.build(exact));
        std::vector<std::uint8_t> tooSmall(layout.minimumBuffer - 1, Untouched);
        EXPECT_FALSE(layout.build(tooSmall));
        EXPECT_EQ(tooSmall, std::vector<std::uint8_t>(layout.minimumBuffer - 1, Untouched));
    }
}

TEST(ReportLayouts, CountIsLittleEndianTwosComplement) {
    const std::vector<std::pair<std::int32_t, std::array<std::uint8_t, 4>>> cases = {
        {0, {0, 0, 0, 0}},
        {3, {3, 0, 0, 0}},
        {0x01020304, {4, 3, 2, 1}},
        {2147483647, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& [count, bytes] : cases) {
        std::vector<std::uint8_t> buffer(9, 0);
        ASSERT_TRUE(writeEraseReport(buffer, count));
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), buffer.begin() + 5)) << count;
    }
}

TEST(BlockData, TakesPositionsFourToThirtyFive) {
    std::vector<std::uint8_t> answer(40);
    for (std::size_t i = 0; i < answer.size(); ++i)
        answer[i] = static_cast<std::uint8_t>(i);
    std::array<std::uint8_t, protocol::BlockSize> block{};
    ASSERT_TRUE(readBlockData(answer, block));
    for (std::size_t n = 0; n < block.size(); ++n)
        EXPECT_EQ(block[n], n + 4);

    std::array<std::uint8_t, protocol::BlockSize> untouched{};
    EXPECT_FALSE(readBlockData(std::span(answer).first(35), untouched));
    EXPECT_EQ(untouched, (std::array<std::uint8_t, protocol::BlockSize>{}));
}

}  // namespace
}  // namespace fwu::device
