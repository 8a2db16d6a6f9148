#include "tests/kernel/protocol_device.h"

#include <algorithm>

namespace fwu::kerneltest {

using namespace protocol;

namespace {

constexpr std::uint8_t ErasedByte = 0xFF;

bool isMagic(std::span<const std::uint8_t> report) {
    return report.size() > EnterBootloaderMagic.size() &&
           std::equal(EnterBootloaderMagic.begin(), EnterBootloaderMagic.end(),
                      report.begin() + CommandPosition);
}

}  // namespace

std::uint8_t ProtocolDevice::initialFlashByte(std::size_t address) {
    return static_cast<std::uint8_t>((address * 13 + address / 256 + 7) & 0xFF);
}

ProtocolDevice::ProtocolDevice() : flash_(FlashSize) {
    for (std::size_t address = 0; address < flash_.size(); ++address) {
        flash_[address] = initialFlashByte(address);
    }
}

bool ProtocolDevice::onSetFeature(std::span<const std::uint8_t> report) {
    if (report.size() < FeatureReportLength || report[0] != ReportId)
        return false;
    if (mode_ == DeviceMode::Bootloader) {
        const auto record = report.subspan(BootloaderRecordPosition, ImageRecordSize);
        bootloaderImage_.insert(bootloaderImage_.end(), record.begin(), record.end());
        return false;
    }
    if (isMagic(report))
        return true;
    onCommand(report);
    return false;
}

void ProtocolDevice::onCommand(std::span<const std::uint8_t> report) {
    switch (report[CommandPosition]) {
        case StartCommand:
            writePosition_ = 0;
            readPosition_ = 0;
            break;
        case EraseCommand: {
            std::uint32_t count = 0;
            for (std::size_t i = 0; i < CountSize; ++i) {
                count |= static_cast<std::uint32_t>(report[CountPosition + i]) << (8 * i);
            }
            announcedRecordCount_ = static_cast<std::int32_t>(count);
            recordsReceived_ = 0;
            finishedComplete_ = false;
            std::fill(flash_.begin(), flash_.end(), ErasedByte);
            break;
        }
        case WriteRecordCommand:
            if (writePosition_ + ImageRecordSize <= flash_.size()) {
                std::copy_n(report.begin() + WriteRecordPosition, ImageRecordSize,
                            flash_.begin() + static_cast<std::ptrdiff_t>(writePosition_));
                writePosition_ += ImageRecordSize;
            }
            ++recordsReceived_;
            break;
        case FinishCommand:
            finishedComplete_ =
                announcedRecordCount_ &&
                static_cast<std::uint32_t>(*announcedRecordCount_) == recordsReceived_;
            break;
        default:
            break;
    }
}

std::vector<std::uint8_t> ProtocolDevice::onGetFeature() {
    std::vector<std::uint8_t> answer(FeatureReportLength, 0);
    if (mode_ == DeviceMode::Application && readPosition_ + BlockSize <= flash_.size()) {
        std::copy_n(flash_.begin() + static_cast<std::ptrdiff_t>(readPosition_), BlockSize,
                    answer.begin() + BlockDataPosition);
        readPosition_ += BlockSize;
    }
    return answer;
}

}  // namespace fwu::kerneltest
