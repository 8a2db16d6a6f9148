#include "firmware/service_commands.h"

#include <span>
#include <string>
#include <vector>

#include "device/reports.h"
#include "firmware/messages.h"
#include "firmware/operation_steps.h"

namespace fwu::firmware {

namespace {

using ReportBuilder = bool (*)(std::span<std::uint8_t>);

// A service command runs without event processing, so nothing can cancel it half-way.
OperationResult sendOneReport(const OperationContext& context, ReportBuilder build,
                              std::string rejected) {
    if (auto refusal = refusalWithoutDevice(context))
        return *refusal;
    if (auto refusal = reportLengthRefusal(context.link, device::ReportUse::ServiceCommand)) {
        tellUser(context.host, *refusal);
        return *refusal;
    }
    std::vector<std::uint8_t> buffer(context.link.featureReportLength() + std::size_t{1}, 0);
    if (!(build(buffer) && context.link.sendFeatureReport(buffer))) {
        const auto result = failed(Outcome::TransferFailed, std::move(rejected));
        tellUser(context.host, result);
        return result;
    }
    return succeeded();
}

bool buildEraseWithoutCount(std::span<std::uint8_t> buffer) {
    return device::writeEraseReport(buffer);
}

bool buildEnterBootloader(std::span<std::uint8_t> buffer) {
    return device::writeEnterBootloaderReport(buffer);
}

}  // namespace

OperationResult runEraseChip(const OperationContext& context) {
    return sendOneReport(context, buildEraseWithoutCount, messages::eraseRejected());
}

OperationResult runEnterBootloader(const OperationContext& context) {
    return sendOneReport(context, buildEnterBootloader, messages::enterBootloaderRejected());
}

}  // namespace fwu::firmware
