#include "firmware/verify_operation.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "device/reports.h"
#include "firmware/flash_read.h"
#include "firmware/image_file.h"
#include "firmware/messages.h"
#include "firmware/operation_steps.h"

namespace fwu::firmware {

namespace {

// The flash as the update leaves it, as far as the flash reaches: the image, then the zeros
// that pad its last record.
class WrittenFlash {
  public:
    explicit WrittenFlash(std::span<const std::uint8_t> image)
        : image_(image),
          length_(std::min<std::uint64_t>(countRecordReads(image) * protocol::ImageRecordSize,
                                          protocol::FlashSize)) {}

    std::uint64_t blocks() const {
        return (length_ + protocol::BlockSize - 1) / protocol::BlockSize;
    }

    // Compares block `index` with what the update wrote there; only the bytes it wrote count.
    std::optional<OperationResult> compare(std::uint64_t index, FlashRead::Block block,
                                           const std::filesystem::path& imagePath) const {
        const std::uint64_t first = index * protocol::BlockSize;
        const auto covered = std::min<std::uint64_t>(block.size(), length_ - first);
        for (std::uint64_t byte = 0; byte < covered; ++byte) {
            const std::uint64_t offset = first + byte;
            const std::uint8_t expected = offset < image_.size() ? image_[offset] : 0;
            if (block[byte] != expected) {
                return failed(Outcome::Mismatch,
                              messages::verifyMismatch(imagePath, offset, expected, block[byte]));
            }
        }
        return std::nullopt;
    }

  private:
    std::span<const std::uint8_t> image_;
    std::uint64_t length_;
};

std::string describeStop(const ReadStop& stop, std::uint64_t blocks) {
    switch (stop.reason) {
        case ReadStop::Reason::Cancelled:
            return messages::verifyCancelled(stop.blockIndex, blocks);
        case ReadStop::Reason::StartRejected:
            return messages::verifyStartRejected();
        case ReadStop::Reason::NoAnswer:
            return messages::verifyBlockNotRead(stop.blockIndex, blocks);
        case ReadStop::Reason::ShortAnswer:
            break;
    }
    return messages::verifyBlockTooShort(stop.blockIndex, blocks, stop.received);
}

// Every refusal, before anything is sent: a device whose answers cannot carry a block, an
// image that cannot be sent, or one larger than the flash.
std::optional<OperationResult> refusal(const device::DeviceLink& link, const CheckedImage& image,
                                       const std::filesystem::path& imagePath) {
    if (link.featureReportLength() < device::minimumReportLength(device::ReportUse::Dump)) {
        return failed(Outcome::ReportTooShort,
                      messages::verifyReportTooShort(link.featureReportLength()));
    }
    if (image.refusal)
        return image.refusal;
    if (image.bytes.size() > protocol::FlashSize)
        return failed(Outcome::FileProblem, messages::verifyImageLargerThanFlash(imagePath));
    return std::nullopt;
}

}  // namespace

OperationResult runVerify(const OperationContext& context) {
    // After an update, which closes the device, the verify finds it again.
    if (context.link.deviceDetected() && !context.link.isOpen())
        searchAgain(context.link);
    if (auto refusal = refusalWithoutDevice(context))
        return *refusal;
    // A device found again is checked as one found open before the run.
    if (auto stop = modeRefusal(context.link, Operation::Verify)) {
        tellUser(context.host, *stop);
        return *stop;
    }
    const auto imagePath = context.files.updateImage();
    const CheckedImage image =
        loadCheckedImage(context, imagePath, context.files.updateImageOrigin(), LargestUpdateImage);
    if (auto stop = refusal(context.link, image, imagePath)) {
        tellUser(context.host, *stop);
        return *stop;
    }

    const WrittenFlash written(image.bytes);
    FlashRead read(context, written.blocks(),
                   [&](const ReadStop& stop) { return describeStop(stop, written.blocks()); });
    auto stop = read.sendStart();
    if (!stop) {
        context.host.showProgress();
        stop = read.readBlocks([&](std::uint64_t index, FlashRead::Block block) {
            return written.compare(index, block, imagePath);
        });
        context.host.clearProgress();
    }
    const OperationResult result = stop.value_or(succeeded());
    tellUser(context.host, result);
    return result;
}

}  // namespace fwu::firmware
