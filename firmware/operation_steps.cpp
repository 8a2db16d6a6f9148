#include "firmware/operation_steps.h"

#include <exception>
#include <new>

#include "firmware/image_checksum.h"
#include "firmware/image_file.h"
#include "firmware/messages.h"
#include "firmware/sleep_guard.h"

namespace fwu::firmware {

void tellUser(OperationHost& host, const OperationResult& result) {
    if (!result.message.empty())
        host.showError(result.message);
}

std::optional<OperationResult> modeRefusal(const device::DeviceLink& link, Operation operation) {
    const RequiredMode needed = factsOf(operation).mode;
    const bool inBootloader = link.inBootloaderMode();
    if (!link.isOpen() || needed == RequiredMode::Either ||
        inBootloader == (needed == RequiredMode::Bootloader))
        return std::nullopt;
    return failed(Outcome::WrongMode, messages::wrongMode(operation, inBootloader));
}

std::optional<OperationResult> reportLengthRefusal(const device::DeviceLink& link,
                                                   device::ReportUse use) {
    if (link.featureReportLength() >= device::minimumReportLength(use))
        return std::nullopt;
    return failed(Outcome::ReportTooShort,
                  messages::reportTooShort(use, link.featureReportLength()));
}

namespace {

// A file the device could take but that is too large to hold in memory. Anything that is not a
// regular file, or is beyond the device's limit, is left to the image reader to refuse.
bool tooLargeToHold(const std::filesystem::path& path, std::uintmax_t largestSize) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return !error && size > LargestImageInMemory && size <= largestSize;
}

}  // namespace

CheckedImage loadCheckedImage(const OperationContext& context, const std::filesystem::path& path,
                              FileOrigin origin, std::uintmax_t largestSize) {
    if (tooLargeToHold(path, largestSize))
        return {{}, failed(Outcome::FileProblem, messages::imageTooLargeToRead(path))};
    ImageLoad load;
    try {
        load = loadImage(path, largestSize);
    } catch (const std::bad_alloc&) {
        return {{}, failed(Outcome::FileProblem, messages::imageTooLargeToRead(path))};
    } catch (const std::exception&) {
        load.error = ImageError::Unreadable;
    }
    if (load.error != ImageError::None) {
        return {{},
                failed(Outcome::FileProblem,
                       messages::imageProblem(path, origin, load.error, largestSize))};
    }
    context.imageSha256 = platform::sha256(load.bytes);
    if (auto refusal = checksumRefusal(path, context.imageSha256, context.settings.imageSha256))
        return {{}, std::move(refusal)};
    return {std::move(load.bytes), std::nullopt};
}

std::unique_ptr<platform::SleepBlock> keepAwakeWhileWriting(const OperationContext& context) {
    if (context.settings.sleepGuard == nullptr)
        return nullptr;
    return context.settings.sleepGuard->keepAwake(context.link.devicePath(), context.host);
}

void searchAgain(device::DeviceLink& link) {
    link.closeConnection();
    link.clearProductId();
    link.setDeviceDetected(link.findTheHid());
}

std::optional<OperationResult> refusalWithoutDevice(const OperationContext& context) {
    if (!context.link.deviceDetected() && context.link.inUse())
        searchAgain(context.link);
    if (context.link.deviceDetected())
        return std::nullopt;
    const OperationResult refusal = searchFailure(context.link);
    tellUser(context.host, refusal);
    return refusal;
}

}  // namespace fwu::firmware
