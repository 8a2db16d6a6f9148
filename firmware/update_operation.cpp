#include "firmware/update_operation.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "device/reports.h"
#include "firmware/image_file.h"
#include "firmware/messages.h"
#include "firmware/operation_steps.h"

namespace fwu::firmware {

namespace {

// The device's pause after the start and after the erase command; the records follow back to
// back.
constexpr std::chrono::milliseconds CommandPause{2};

// One run of the update over one report buffer. The buffer is never cleared: each report
// overwrites its own positions only, so the count stays at 5 to 8 after the erase report and
// the finish report repeats the last record.
class UpdateRun {
  public:
    UpdateRun(const OperationContext& context, std::span<const std::uint8_t> image)
        : context_(context),
          image_(image),
          recordCount_(static_cast<std::int32_t>(countRecordReads(image))),
          buffer_(context.link.featureReportLength(), 0) {}

    // Start, erase and the records; nothing when all were sent.
    std::optional<OperationResult> sendStartEraseAndRecords() {
        if (cancelled())
            return cancellation();
        if (!(device::writeStartReport(buffer_) && send()))
            return failed(Outcome::TransferFailed, messages::updateStartRejected());
        pause();
        if (cancelled())
            return cancellation();
        if (!(device::writeEraseReport(buffer_, recordCount_) && send()))
            return failed(Outcome::TransferFailed, messages::updateEraseRejected());
        erased_ = true;
        pause();
        return sendRecords();
    }

    std::optional<OperationResult> sendFinish() {
        if (cancelled())
            return cancellation();
        if (!(device::writeFinishReport(buffer_) && send()))
            return failed(Outcome::TransferFailed, messages::updateFinishRejected());
        return std::nullopt;
    }

  private:
    std::optional<OperationResult> sendRecords() {
        std::optional<OperationResult> stop;
        forEachRecordReadThenSend(image_, [&](const device::ImageRecord& record) {
            if (cancelled()) {
                stop = cancellation();
                return false;
            }
            if (!(device::writeWriteRecordReport(buffer_, record) && send())) {
                stop = failed(Outcome::TransferFailed,
                              messages::updateRecordRejected(recordsSent_ + 1, recordCount_));
                return false;
            }
            ++recordsSent_;
            context_.host.advanceProgress(recordsSent_, recordCount_);
            return true;
        });
        return stop;
    }

    bool send() { return context_.link.sendFeatureReport(buffer_); }
    void pause() { context_.link.platform().sleep(CommandPause); }
    bool cancelled() { return context_.host.cancelRequested(); }
    OperationResult cancellation() const {
        return failed(Outcome::Cancelled,
                      messages::updateCancelled(recordsSent_, recordCount_, erased_));
    }

    const OperationContext& context_;
    std::span<const std::uint8_t> image_;
    std::int32_t recordCount_;
    std::vector<std::uint8_t> buffer_;
    std::int64_t recordsSent_ = 0;
    bool erased_ = false;
};

// The state every update ends in: the button retired, the labels of the device emptied and the
// connection closed. The window stays open.
void retireUpdate(const OperationContext& context) {
    context.host.disableUpdateButton();
    context.host.clearProductAndVersion();
    context.link.closeConnection();
}

}  // namespace

OperationResult runUpdate(const OperationContext& context) {
    if (auto refusal = refusalWithoutDevice(context)) {
        retireUpdate(context);
        return *refusal;
    }
    // Refusals leave everything as it was, so the update can run once the cause is fixed.
    if (auto refusal = reportLengthRefusal(context.link, device::ReportUse::Update)) {
        tellUser(context.host, *refusal);
        return *refusal;
    }
    const CheckedImage image =
        loadCheckedImage(context, context.files.updateImage(), context.files.updateImageOrigin(),
                         LargestImageWritten);
    if (image.refusal) {
        tellUser(context.host, *image.refusal);
        return *image.refusal;
    }

    UpdateRun run(context, image.bytes);
    auto awake = keepAwakeWhileWriting(context);
    context.host.showProgress();
    auto stop = run.sendStartEraseAndRecords();
    context.host.clearProgress();
    if (!stop)
        stop = run.sendFinish();
    awake.reset();
    retireUpdate(context);

    const OperationResult result = stop.value_or(succeeded());
    tellUser(context.host, result);
    return result;
}

}  // namespace fwu::firmware
