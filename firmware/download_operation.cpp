#include "firmware/download_operation.h"

#include <optional>
#include <vector>

#include "device/reports.h"
#include "firmware/image_file.h"
#include "firmware/messages.h"
#include "firmware/operation_steps.h"

namespace fwu::firmware {

namespace {

// The reports that carry the image: whole records, and the partial last one when there is one.
std::int64_t recordsToSend(std::span<const std::uint8_t> image) {
    return static_cast<std::int64_t>((image.size() + protocol::ImageRecordSize - 1) /
                                     protocol::ImageRecordSize);
}

}  // namespace

OperationResult sendBootloaderImage(const OperationContext& context,
                                    std::span<const std::uint8_t> image) {
    // The bar counts record reads, one more than the whole records, as the download always did.
    const auto progressTotal = static_cast<std::int64_t>(countRecordReads(image));
    const std::int64_t records = recordsToSend(image);
    std::vector<std::uint8_t> buffer(context.link.featureReportLength(), 0);
    std::int64_t sent = 0;
    std::optional<OperationResult> stop;

    context.host.showProgress();
    forEachRecordReadThenCheck(image, [&](const device::ImageRecord& record) {
        if (context.host.cancelRequested()) {
            stop = failed(Outcome::Cancelled, messages::downloadCancelled(sent, records));
            return false;
        }
        if (!(device::writeBootloaderRecordReport(buffer, record) &&
              context.link.sendFeatureReport(buffer))) {
            stop = failed(Outcome::TransferFailed,
                          messages::downloadRecordRejected(sent + 1, records));
            return false;
        }
        ++sent;
        context.host.advanceProgress(sent, progressTotal);
        return true;
    });
    return stop.value_or(succeeded());
}

void endProgram(const OperationContext& context, const OperationResult& result) {
    context.link.closeConnection();
    tellUser(context.host, result);
    context.host.unload();
}

OperationResult runDownload(const OperationContext& context) {
    if (auto refusal = refusalWithoutDevice(context))
        return *refusal;
    if (auto refusal = reportLengthRefusal(context.link, device::ReportUse::Download)) {
        tellUser(context.host, *refusal);
        return *refusal;
    }
    const CheckedImage image =
        loadCheckedImage(context, context.files.downloadImage(),
                         context.files.downloadImageOrigin(), LargestImageWritten);
    if (image.refusal) {
        tellUser(context.host, *image.refusal);
        return *image.refusal;
    }
    // Once records went out, the device holds part of an image and the connection is done
    // with: the program ends, whatever the outcome, and a new start finds the device again.
    auto awake = keepAwakeWhileWriting(context);
    const OperationResult result = sendBootloaderImage(context, image.bytes);
    awake.reset();
    endProgram(context, result);
    return result;
}

}  // namespace fwu::firmware
