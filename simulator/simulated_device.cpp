#include "simulator/simulated_device.h"

#include <algorithm>
#include <array>

#include "device/protocol.h"

namespace fwu::simulator {

namespace {

constexpr std::uint8_t ErasedByte = 0xFF;

constexpr std::size_t StartLength = protocol::CommandPosition + 1;
constexpr std::size_t EnterBootloaderLength =
    protocol::CommandPosition + protocol::EnterBootloaderMagic.size();
constexpr std::size_t WriteRecordLength = protocol::WriteRecordPosition + protocol::ImageRecordSize;
constexpr std::size_t BootloaderRecordLength =
    protocol::BootloaderRecordPosition + protocol::ImageRecordSize;

// Positions a short report does not carry read as zero, as in the host's zero-filled buffer.
std::uint8_t byteAt(std::span<const std::uint8_t> report, std::size_t position) {
    return position < report.size() ? report[position] : 0;
}

std::int32_t recordCountOf(std::span<const std::uint8_t> report) {
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < protocol::CountSize; ++i) {
        count |= static_cast<std::uint32_t>(byteAt(report, protocol::CountPosition + i)) << (8 * i);
    }
    return static_cast<std::int32_t>(count);
}

bool carriesEnterBootloaderMagic(std::span<const std::uint8_t> report) {
    if (report.size() < EnterBootloaderLength)
        return false;
    return std::equal(protocol::EnterBootloaderMagic.begin(), protocol::EnterBootloaderMagic.end(),
                      report.begin() + protocol::CommandPosition);
}

std::uint8_t patternByte(std::size_t position) {
    auto mixed = static_cast<std::uint32_t>(position) * 0x9E3779B1u;
    mixed ^= mixed >> 16;
    mixed *= 0x85EBCA6Bu;
    mixed ^= mixed >> 13;
    return static_cast<std::uint8_t>(mixed);
}

}  // namespace

std::vector<std::uint8_t> utf16Bytes(const std::u16string& text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

std::vector<std::uint8_t> initialFlashContents(
    const std::optional<std::vector<std::uint8_t>>& initial) {
    std::vector<std::uint8_t> flash(protocol::FlashSize, ErasedByte);
    if (initial) {
        std::copy_n(initial->begin(), std::min(initial->size(), flash.size()), flash.begin());
    } else {
        for (std::size_t i = 0; i < flash.size(); ++i)
            flash[i] = patternByte(i);
    }
    return flash;
}

std::uint8_t blockFillerByte(std::size_t position) {
    return static_cast<std::uint8_t>(0xE0 | (position & 0x0F));
}

SimulatedDevice::SimulatedDevice(const DeviceConfig& config, Kind kind)
    : config_(config), kind_(kind) {
    state_.mode = config.mode;
    if (!isForeign())
        state_.flash = initialFlashContents(config.initialFlash);
}

platform::Attributes SimulatedDevice::attributes() const {
    const std::uint16_t productId = state_.mode == DeviceMode::Bootloader
                                        ? protocol::BootloaderProductId
                                        : config_.applicationProductId;
    return platform::Attributes{config_.vendorId, productId, config_.versionNumber};
}

platform::Capabilities SimulatedDevice::capabilities() const {
    return platform::Capabilities{config_.featureReportLength};
}

const std::vector<std::uint8_t>* SimulatedDevice::identityString(
    platform::IdentityString which) const {
    if (isForeign())
        return nullptr;
    switch (which) {
        case platform::IdentityString::Manufacturer:
            return &config_.manufacturer;
        case platform::IdentityString::Product:
            return &config_.product;
        case platform::IdentityString::SerialNumber:
            return &config_.serialNumber;
    }
    return nullptr;
}

SetOutcome SimulatedDevice::receiveSetFeature(std::span<const std::uint8_t> report) {
    if (isForeign() || report.empty() || report[0] != protocol::ReportId) {
        return SetOutcome::Refused;
    }
    if (state_.mode == DeviceMode::Bootloader)
        return appendBootloaderRecord(report);
    return receiveApplicationCommand(report);
}

SetOutcome SimulatedDevice::receiveApplicationCommand(std::span<const std::uint8_t> report) {
    if (carriesEnterBootloaderMagic(report)) {
        ++state_.enterBootloaderCount;
        return SetOutcome::EnterBootloader;
    }
    if (report.size() < StartLength)
        return SetOutcome::Refused;
    switch (report[protocol::CommandPosition]) {
        case protocol::StartCommand:
            start();
            return SetOutcome::Accepted;
        case protocol::EraseCommand:
            erase(report);
            return SetOutcome::Accepted;
        case protocol::WriteRecordCommand:
            return writeRecord(report);
        case protocol::FinishCommand:
            finish();
            return SetOutcome::Accepted;
        default:
            return SetOutcome::Refused;
    }
}

SetOutcome SimulatedDevice::appendBootloaderRecord(std::span<const std::uint8_t> report) {
    if (report.size() < BootloaderRecordLength)
        return SetOutcome::Refused;
    const auto record =
        report.subspan(protocol::BootloaderRecordPosition, protocol::ImageRecordSize);
    state_.bootloaderImage.insert(state_.bootloaderImage.end(), record.begin(), record.end());
    return SetOutcome::Accepted;
}

void SimulatedDevice::start() {
    state_.writePosition = 0;
    state_.readPosition = 0;
    state_.recordsReceived = 0;
    state_.announcedRecordCount.reset();
    state_.finished = false;
    state_.finishedComplete = false;
    state_.started = true;
}

void SimulatedDevice::erase(std::span<const std::uint8_t> report) {
    std::fill(state_.flash.begin(), state_.flash.end(), ErasedByte);
    state_.announcedRecordCount = recordCountOf(report);
    ++state_.eraseCount;
}

SetOutcome SimulatedDevice::writeRecord(std::span<const std::uint8_t> report) {
    if (report.size() < WriteRecordLength)
        return SetOutcome::Refused;
    const std::size_t room = state_.flash.size() - state_.writePosition;
    const std::size_t written = std::min(protocol::ImageRecordSize, room);
    std::copy_n(report.begin() + protocol::WriteRecordPosition, written,
                state_.flash.begin() + static_cast<std::ptrdiff_t>(state_.writePosition));
    state_.writePosition += written;
    ++state_.recordsReceived;
    return SetOutcome::Accepted;
}

void SimulatedDevice::finish() {
    state_.finished = true;
    const auto announced = state_.announcedRecordCount;
    state_.finishedComplete = announced && *announced >= 0 &&
                              state_.recordsReceived == static_cast<std::uint64_t>(*announced);
}

std::optional<std::size_t> SimulatedDevice::answerGetFeature(std::span<std::uint8_t> report) {
    if (isForeign() || state_.mode == DeviceMode::Bootloader)
        return std::nullopt;
    if (!state_.started || state_.readPosition + protocol::BlockSize > state_.flash.size()) {
        return std::nullopt;
    }
    if (report.empty() || report[0] != protocol::ReportId)
        return std::nullopt;

    std::size_t length = std::min<std::size_t>(report.size(), config_.featureReportLength);
    if (config_.faults.shortBlockReads)
        length = std::min(length, *config_.faults.shortBlockReads);
    for (std::size_t position = 0; position < length; ++position) {
        report[position] = blockAnswerByte(position);
    }
    state_.readPosition += protocol::BlockSize;
    return length;
}

std::uint8_t SimulatedDevice::blockAnswerByte(std::size_t position) const {
    if (position == 0)
        return protocol::ReportId;
    if (position >= protocol::BlockDataPosition &&
        position < protocol::BlockDataPosition + protocol::BlockSize) {
        return state_.flash[state_.readPosition + position - protocol::BlockDataPosition];
    }
    return blockFillerByte(position);
}

void SimulatedDevice::restartInBootloader() {
    state_.mode = DeviceMode::Bootloader;
    state_.writePosition = 0;
    state_.readPosition = 0;
    state_.started = false;
}

}  // namespace fwu::simulator
