#include "firmware/operation_steps.h"

#include <exception>
#include <new>

#include "firmware/image_file.h"
#include "firmware/messages.h"

namespace fwu::firmware {

void tellUser(OperationHost& host, const OperationResult& result) {
    if (!result.message.empty())
        host.showError(result.message);
}

std::optional<OperationResult> reportLengthRefusal(const device::DeviceLink& link,
                                                   device::ReportUse use) {
    if (link.featureReportLength() >= device::minimumReportLength(use))
        return std::nullopt;
    return failed(Outcome::ReportTooShort,
                  messages::reportTooShort(use, link.featureReportLength()));
}

CheckedImage loadCheckedImage(const std::filesystem::path& path, std::uintmax_t largestSize) {
    ImageLoad load;
    try {
        load = loadImage(path, largestSize);
    } catch (const std::bad_alloc&) {
        return {{}, failed(Outcome::FileProblem, messages::imageTooLargeToRead(path))};
    } catch (const std::exception&) {
        load.error = ImageError::Unreadable;
    }
    if (load.error != ImageError::None) {
        return {
            {},
            failed(Outcome::FileProblem, messages::imageProblem(path, load.error, largestSize))};
    }
    return {std::move(load.bytes), std::nullopt};
}

}  // namespace fwu::firmware
