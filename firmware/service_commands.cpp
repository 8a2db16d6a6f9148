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

enum class Writes { Flash, Nothing };

// A service command runs without event processing, so nothing can cancel it half-way. One that
// changes the flash keeps the system awake while its report goes out.
OperationResult sendOneReport(const OperationContext& context, ReportBuilder build,
                              std::string rejected, Writes writes) {
    if (auto refusal = refusalWithoutDevice(context))
        return *refusal;
    if (auto refusal = reportLengthRefusal(context.link, device::ReportUse::ServiceCommand)) {
        tellUser(context.host, *refusal);
        return *refusal;
    }
    std::vector<std::uint8_t> buffer(context.link.featureReportLength() + std::size_t{1}, 0);
    auto awake = writes == Writes::Flash ? keepAwakeWhileWriting(context) : nullptr;
    const bool sent = build(buffer) && context.link.sendFeatureReport(buffer);
    awake.reset();
    if (!sent) {
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
    return sendOneReport(context, buildEraseWithoutCount, messages::eraseRejected(), Writes::Flash);
}

OperationResult runEnterBootloader(const OperationContext& context) {
    return sendOneReport(context, buildEnterBootloader, messages::enterBootloaderRejected(),
                         Writes::Nothing);
}

}  // namespace fwu::firmware
