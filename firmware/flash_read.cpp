#include "firmware/flash_read.h"

#include <algorithm>
#include <array>
#include <utility>

#include "device/reports.h"
#include "firmware/operation_steps.h"

namespace fwu::firmware {

namespace {

// The bar's total is the index of the last block, so the last block fills it.
std::int64_t progressTotal(std::uint64_t blockCount) {
    return std::max<std::int64_t>(static_cast<std::int64_t>(blockCount) - 1, 1);
}

}  // namespace

FlashRead::FlashRead(const OperationContext& context, std::uint64_t blockCount, Describe describe)
    : context_(context),
      blockCount_(blockCount),
      describe_(std::move(describe)),
      answer_(context.link.featureReportLength() + std::size_t{1}, 0) {}

std::optional<OperationResult> FlashRead::sendStart() {
    std::vector<std::uint8_t> request(answer_.size(), 0);
    if (context_.host.cancelRequested())
        return stopped({ReadStop::Reason::Cancelled});
    if (!(device::writeStartReport(request) && context_.link.sendFeatureReport(request)))
        return stopped({ReadStop::Reason::StartRejected});
    return std::nullopt;
}

std::optional<OperationResult> FlashRead::readBlocks(const TakeBlock& take) {
    const std::int64_t total = progressTotal(blockCount_);
    for (std::uint64_t index = 0; index < blockCount_; ++index) {
        if (auto stop = readBlock(index, take))
            return stop;
        for (std::size_t byte = 0; byte < protocol::BlockSize; ++byte)
            context_.host.advanceProgress(static_cast<std::int64_t>(index), total);
        context_.host.processEvents();
    }
    return std::nullopt;
}

std::optional<OperationResult> FlashRead::readBlock(std::uint64_t index, const TakeBlock& take) {
    if (context_.host.cancelRequested())
        return stopped({ReadStop::Reason::Cancelled, index});
    const auto received = context_.link.readFeatureReport(answer_);
    if (!received)
        return stopped({ReadStop::Reason::NoAnswer, index});
    const std::size_t delivered = std::min(*received, answer_.size());
    std::array<std::uint8_t, protocol::BlockSize> block{};
    if (delivered < device::minimumReportLength(device::ReportUse::Dump) ||
        !device::readBlockData(std::span(answer_).first(delivered), block)) {
        return stopped({ReadStop::Reason::ShortAnswer, index, delivered});
    }
    return take(index, block);
}

OperationResult FlashRead::stopped(const ReadStop& stop) const {
    const Outcome outcome =
        stop.reason == ReadStop::Reason::Cancelled ? Outcome::Cancelled : Outcome::TransferFailed;
    return failed(outcome, describe_(stop));
}

}  // namespace fwu::firmware
