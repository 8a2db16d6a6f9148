#include "firmware/dump_operation.h"

#include <algorithm>
#include <array>
#include <optional>
#include <system_error>
#include <vector>

#include "device/reports.h"
#include "firmware/dump_file.h"
#include "firmware/messages.h"
#include "firmware/operation_steps.h"
#include "platform/file_system.h"

namespace fwu::firmware {

namespace {

constexpr const char* DoneText = "Done";

// The bar's total is the index of the last block, so the last block fills it.
std::int64_t progressTotal(std::size_t blockCount) {
    return std::max<std::int64_t>(static_cast<std::int64_t>(blockCount) - 1, 1);
}

class DumpRun {
  public:
    DumpRun(const OperationContext& context, DumpFile& file)
        : context_(context),
          file_(file),
          blockCount_(context.settings.dumpBlockCount),
          answer_(context.link.featureReportLength() + std::size_t{1}, 0) {}

    std::optional<OperationResult> sendStart() {
        std::vector<std::uint8_t> request(answer_.size(), 0);
        if (context_.host.cancelRequested())
            return cancellation(0);
        if (!(device::writeStartReport(request) && context_.link.sendFeatureReport(request))) {
            return failed(Outcome::TransferFailed, messages::dumpStartRejected(file_.target()));
        }
        return std::nullopt;
    }

    std::optional<OperationResult> readBlocks() {
        const std::int64_t total = progressTotal(blockCount_);
        for (std::size_t index = 0; index < blockCount_; ++index) {
            if (auto stop = readBlock(index))
                return stop;
            for (std::size_t byte = 0; byte < protocol::BlockSize; ++byte)
                context_.host.advanceProgress(static_cast<std::int64_t>(index), total);
            context_.host.processEvents();
        }
        return std::nullopt;
    }

  private:
    std::optional<OperationResult> readBlock(std::size_t index) {
        if (context_.host.cancelRequested())
            return cancellation(index);
        const auto received = context_.link.readFeatureReport(answer_);
        if (!received) {
            return failed(Outcome::TransferFailed,
                          messages::dumpBlockNotRead(index, blockCount_, file_.target(),
                                                     file_.partialPath()));
        }
        const std::size_t delivered = std::min(*received, answer_.size());
        std::array<std::uint8_t, protocol::BlockSize> block{};
        if (delivered < device::minimumReportLength(device::ReportUse::Dump) ||
            !device::readBlockData(std::span(answer_).first(delivered), block)) {
            return failed(Outcome::TransferFailed,
                          messages::dumpBlockTooShort(index, blockCount_, delivered, file_.target(),
                                                      file_.partialPath()));
        }
        std::error_code error;
        if (!file_.append(block, error)) {
            return failed(Outcome::FileProblem,
                          messages::dumpWriteFailed(file_.target(), file_.partialPath(), error));
        }
        return std::nullopt;
    }

    OperationResult cancellation(std::size_t blocksRead) const {
        return failed(
            Outcome::Cancelled,
            messages::dumpCancelled(blocksRead, blockCount_, file_.target(), file_.partialPath()));
    }

    const OperationContext& context_;
    DumpFile& file_;
    std::size_t blockCount_;
    // Position 0 is set before every read; nothing else is cleared between reads.
    std::vector<std::uint8_t> answer_;
};

std::optional<OperationResult> replaceEarlierDump(DumpFile& file) {
    std::error_code error;
    if (!file.writeOut(error)) {
        return failed(Outcome::FileProblem,
                      messages::dumpWriteFailed(file.target(), file.partialPath(), error));
    }
    if (!file.replaceTarget(error)) {
        return failed(Outcome::FileProblem,
                      messages::dumpNotReplaced(file.target(), file.partialPath(), error));
    }
    return std::nullopt;
}

OperationResult stopDump(const OperationContext& context, DumpFile& file,
                         const OperationResult& result) {
    file.abandon();
    tellUser(context.host, result);
    return result;
}

}  // namespace

OperationResult runDump(const OperationContext& context) {
    if (!context.link.deviceDetected())
        return failed(Outcome::NoDevice, {});
    if (auto refusal = reportLengthRefusal(context.link, device::ReportUse::Dump)) {
        tellUser(context.host, *refusal);
        return *refusal;
    }
    // The target is checked and the file created before the start report: a target that is no
    // file, or a folder that cannot be written, is refused before the device is asked for
    // anything. A link is followed: the file it names is replaced, and the link stays.
    const auto target = platform::fileToReplace(context.files.dumpFile());
    if (!target) {
        const auto refusal =
            failed(Outcome::FileProblem, messages::dumpTargetNotAFile(context.files.dumpFile()));
        tellUser(context.host, refusal);
        return refusal;
    }
    DumpFile file(*target);
    std::error_code error;
    if (!file.create(error)) {
        const auto refusal =
            failed(Outcome::FileProblem, messages::dumpFileNotCreated(file.partialPath(), error));
        tellUser(context.host, refusal);
        return refusal;
    }

    DumpRun run(context, file);
    if (auto stop = run.sendStart())
        return stopDump(context, file, *stop);
    context.host.setStatusText("");
    context.host.showProgress();
    auto stop = run.readBlocks();
    if (!stop)
        stop = replaceEarlierDump(file);
    if (stop) {
        context.host.clearProgress();
        return stopDump(context, file, *stop);
    }
    context.host.setStatusText(DoneText);
    context.host.clearProgress();
    return succeeded();
}

}  // namespace fwu::firmware
