// The bytes of each report are checked on the wire by the operations' tests; here, what no
// operation can show: a buffer too small for a layout is refused before anything is written.
#include "device/reports.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace fwu::device {
namespace {

using Builder = std::function<bool(std::span<std::uint8_t>)>;

TEST(Reports, ABufferTooSmallForTheLayoutIsRefusedAndLeftAsItWas) {
    const ImageRecord record{};
    const std::pair<Builder, std::size_t> builders[] = {
        {[](auto b) { return writeStartReport(b); }, 5},
        {[](auto b) { return writeEraseReport(b); }, 5},
        {[](auto b) { return writeEraseReport(b, 1000); }, 9},
        {[&](auto b) { return writeWriteRecordReport(b, record); }, 49},
        {[](auto b) { return writeFinishReport(b); }, 5},
        {[](auto b) { return writeEnterBootloaderReport(b); }, 5},
        {[&](auto b) { return writeBootloaderRecordReport(b, record); }, 41},
        {[](auto b) {
             std::array<std::uint8_t, protocol::BlockSize> block{};
             return readBlockData(b, block);
         },
         36},
    };
    for (const auto& [build, size] : builders) {
        std::vector<std::uint8_t> exact(size, 0xCC);
        std::vector<std::uint8_t> tooSmall(size - 1, 0xCC);
        EXPECT_TRUE(build(exact)) << size;
        EXPECT_FALSE(build(tooSmall)) << size;
        EXPECT_EQ(tooSmall, std::vector<std::uint8_t>(size - 1, 0xCC)) << size;
    }
}

}  // namespace
}  // namespace fwu::device
