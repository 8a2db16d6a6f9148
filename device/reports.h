#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/protocol.h"

// One builder per report layout. Each writes exactly the positions of its layout into the
// caller's buffer and leaves every other position as it was: an operation keeps one buffer
// for all reports of a run, so a later report carries what an earlier one left (the record
// count at 5 to 8, the last record in the finish report).
//
// Every builder refuses (returns false, writes nothing) a buffer too small for its layout.
namespace fwu::device {

using ImageRecord = std::array<std::uint8_t, protocol::ImageRecordSize>;

[[nodiscard]] bool writeStartReport(std::span<std::uint8_t> buffer);
// The erase report: command at 0 to 4; the update's erase also carries the record count at
// 5 to 8. The "Erase chip" command writes no count (the positions stay zero).
[[nodiscard]] bool writeEraseReport(std::span<std::uint8_t> buffer);
[[nodiscard]] bool writeEraseReport(std::span<std::uint8_t> buffer, std::int32_t recordCount);
[[nodiscard]] bool writeWriteRecordReport(std::span<std::uint8_t> buffer,
                                          const ImageRecord& record);
[[nodiscard]] bool writeFinishReport(std::span<std::uint8_t> buffer);
[[nodiscard]] bool writeEnterBootloaderReport(std::span<std::uint8_t> buffer);
[[nodiscard]] bool writeBootloaderRecordReport(std::span<std::uint8_t> buffer,
                                               const ImageRecord& record);

// Copies the 32 flash bytes of a block-read answer (positions 4 to 35) into `block`.
[[nodiscard]] bool readBlockData(std::span<const std::uint8_t> answer,
                                 std::span<std::uint8_t, protocol::BlockSize> block);

// The least feature report length (report ID included) at which each operation's reports fit
// and every byte with a meaning travels.
enum class ReportUse { Update, Download, Dump, Upgrade, ServiceCommand };
struct MinimumReportLength {
    ReportUse use;
    std::uint16_t length;
};
inline constexpr std::array<MinimumReportLength, 5> MinimumReportLengths = {{
    {ReportUse::Update, 49},
    {ReportUse::Download, 41},
    {ReportUse::Dump, 36},
    {ReportUse::Upgrade, 4},
    {ReportUse::ServiceCommand, 4},
}};
constexpr std::uint16_t minimumReportLength(ReportUse use) {
    for (const auto& entry : MinimumReportLengths) {
        if (entry.use == use)
            return entry.length;
    }
    return 0;
}

}  // namespace fwu::device
