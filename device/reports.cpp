#include "device/reports.h"

#include <algorithm>

namespace fwu::device {
namespace {

using namespace fwu::protocol;

// Report ID, command and the zeros at 2 to 4 of a command report.
bool writeCommand(std::span<std::uint8_t> buffer, std::uint8_t command, std::size_t needed) {
    if (buffer.size() < needed)
        return false;
    buffer[0] = ReportId;
    buffer[CommandPosition] = command;
    std::fill_n(buffer.begin() + CommandPosition + 1, 3, std::uint8_t{0});
    return true;
}

constexpr std::size_t CommandReportSize = CommandPosition + 4;  // positions 0 to 4
constexpr std::size_t CountedReportSize = CountPosition + CountSize;
constexpr std::size_t WriteRecordReportSize = WriteRecordPosition + ImageRecordSize;
constexpr std::size_t BootloaderRecordReportSize = BootloaderRecordPosition + ImageRecordSize;
constexpr std::size_t BlockAnswerSize = BlockDataPosition + BlockSize;

}  // namespace

bool writeStartReport(std::span<std::uint8_t> buffer) {
    return writeCommand(buffer, StartCommand, CommandReportSize);
}

bool writeEraseReport(std::span<std::uint8_t> buffer) {
    return writeCommand(buffer, EraseCommand, CommandReportSize);
}

bool writeEraseReport(std::span<std::uint8_t> buffer, std::int32_t recordCount) {
    if (buffer.size() < CountedReportSize)
        return false;
    (void)writeCommand(buffer, EraseCommand, CommandReportSize);
    const auto count = static_cast<std::uint32_t>(recordCount);
    for (std::size_t i = 0; i < CountSize; ++i) {
        buffer[CountPosition + i] = static_cast<std::uint8_t>(count >> (8 * i));
    }
    return true;
}

bool writeWriteRecordReport(std::span<std::uint8_t> buffer, const ImageRecord& record) {
    if (!writeCommand(buffer, WriteRecordCommand, WriteRecordReportSize))
        return false;
    std::copy(record.begin(), record.end(), buffer.begin() + WriteRecordPosition);
    return true;
}

bool writeFinishReport(std::span<std::uint8_t> buffer) {
    return writeCommand(buffer, FinishCommand, CommandReportSize);
}

bool writeEnterBootloaderReport(std::span<std::uint8_t> buffer) {
    if (buffer.size() < CommandReportSize)
        return false;
    buffer[0] = ReportId;
    std::copy(EnterBootloaderMagic.begin(), EnterBootloaderMagic.end(),
              buffer.begin() + CommandPosition);
    buffer[CommandPosition + EnterBootloaderMagic.size()] = 0;
    return true;
}

bool writeBootloaderRecordReport(std::span<std::uint8_t> buffer, const ImageRecord& record) {
    if (buffer.size() < BootloaderRecordReportSize)
        return false;
    buffer[0] = ReportId;
    std::copy(record.begin(), record.end(), buffer.begin() + BootloaderRecordPosition);
    return true;
}

bool readBlockData(std::span<const std::uint8_t> answer, std::span<std::uint8_t, BlockSize> block) {
    if (answer.size() < BlockAnswerSize)
        return false;
    std::copy_n(answer.begin() + BlockDataPosition, BlockSize, block.begin());
    return true;
}

}  // namespace fwu::device
