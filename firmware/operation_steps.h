#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/protocol.h"
#include "device/reports.h"
#include "firmware/operation_context.h"
#include "platform/sleep_inhibitor.h"

// Steps that several operations share: failing with a message, refusing a device in the wrong
// mode or whose reports are too short, reading and checking an image within the limit of its
// record count, keeping the system awake while writing, and searching for the device again.
namespace fwu::firmware {

// The largest image whose record reads a count of at most `largestCount` can hold: a pass
// makes one read more than the image has whole records.
constexpr std::uintmax_t largestImageSize(std::uint64_t largestCount) {
    return (largestCount - 1) * protocol::ImageRecordSize + (protocol::ImageRecordSize - 1);
}
// The update announces its count as a 32-bit signed number, the download counts in 16 bits.
inline constexpr std::uintmax_t LargestUpdateImage =
    largestImageSize(std::numeric_limits<std::int32_t>::max());
// Every image written goes into the flash: a larger one is refused before anything is sent,
// although the counts of both the update and the download could announce more.
inline constexpr std::uintmax_t LargestImageWritten = protocol::FlashSize;
static_assert(largestImageSize(std::numeric_limits<std::int16_t>::max()) > LargestImageWritten);
// The largest image read into memory to be sent: far above any image of the device family
// (the flash it holds is 1 MiB), far below what would strain the machine. A larger file is
// refused before it is read; the allocator cannot be relied on to refuse it, since the system
// may grant the memory and end the program later when it is touched.
inline constexpr std::uintmax_t LargestImageInMemory = 64 * 1024 * 1024;

inline OperationResult succeeded() {
    return {Outcome::Succeeded, {}};
}
inline OperationResult failed(Outcome outcome, std::string message) {
    return {outcome, std::move(message)};
}
inline bool hasFailed(const OperationResult& result) {
    return result.outcome != Outcome::Succeeded;
}

// Shows the result's message when it has one.
void tellUser(OperationHost& host, const OperationResult& result);

// A refusal when the open device is not in the mode `operation` needs; nothing when no device
// is open.
std::optional<OperationResult> modeRefusal(const device::DeviceLink& link, Operation operation);

// A refusal when the open device's feature report cannot carry the reports of `use`.
std::optional<OperationResult> reportLengthRefusal(const device::DeviceLink& link,
                                                   device::ReportUse use);

// The image, read once, or the refusal that says why it cannot be sent. Its SHA-256, noted in
// the context, is checked against the settings' and the checksum file's beside it.
struct CheckedImage {
    std::vector<std::uint8_t> bytes;
    std::optional<OperationResult> refusal;
};
CheckedImage loadCheckedImage(const OperationContext& context, const std::filesystem::path& path,
                              FileOrigin origin, std::uintmax_t largestSize);

// The system kept awake from now until the returned block is destroyed, as far as the settings'
// guard can: hold it from before the first report that writes to after the last.
[[nodiscard]] std::unique_ptr<platform::SleepBlock> keepAwakeWhileWriting(
    const OperationContext& context);

// Closes the connection and searches for the device again, as at start-up.
void searchAgain(device::DeviceLink& link);

// The refusal of an operation that has no device to run on, told to the user. A device that
// another program held at the last search is searched for again first, since that program may
// have finished since. Nothing when there is a device.
std::optional<OperationResult> refusalWithoutDevice(const OperationContext& context);

}  // namespace fwu::firmware
