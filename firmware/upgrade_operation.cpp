#include "firmware/upgrade_operation.h"

#include <optional>
#include <span>
#include <vector>

#include "device/reports.h"
#include "firmware/download_operation.h"
#include "firmware/messages.h"
#include "firmware/operation_steps.h"

namespace fwu::firmware {

namespace {

bool bootloaderFound(const device::DeviceLink& link) {
    return link.deviceDetected() && link.inBootloaderMode();
}

// Sends the enter-bootloader report to a device found in application mode. The transfer may
// fail although the device took the command, when it leaves the bus at once: the wait decides.
std::optional<OperationResult> switchToBootloader(const OperationContext& context) {
    device::DeviceLink& link = context.link;
    searchAgain(link);
    if (!link.deviceDetected() && link.inUse())
        return searchFailure(link);
    // A chosen device comes back from its restart under another path: the searches after it
    // go by its serial number, so that another device's bootloader is never taken for it.
    if (link.deviceDetected() && link.choice() != device::DeviceChoice{})
        link.followBySerialNumber();
    if (link.deviceDetected() && !link.inBootloaderMode()) {
        if (context.host.cancelRequested())
            return failed(Outcome::Cancelled, messages::upgradeCancelled());
        if (auto refusal = reportLengthRefusal(link, device::ReportUse::Upgrade))
            return refusal;
        std::vector<std::uint8_t> buffer(link.featureReportLength() + std::size_t{1}, 0);
        if (device::writeEnterBootloaderReport(buffer))
            (void)link.sendFeatureReport(buffer);
    }
    link.closeConnection();
    link.setDeviceDetected(false);
    return std::nullopt;
}

// A device in bootloader mode that another program took before this one found it free.
std::optional<OperationResult> bootloaderTakenElsewhere(const device::DeviceLink& link) {
    const auto& inUse = link.inUse();
    if (bootloaderFound(link) || !inUse ||
        inUse->attributes.productId != protocol::BootloaderProductId)
        return std::nullopt;
    return failed(Outcome::Busy, messages::upgradeBootloaderInUse(inUse->path, inUse->holder));
}

// Searches every wait period until a device in bootloader mode is found, within the wait limit
// of the platform's clock; a cancel request ends the wait.
std::optional<OperationResult> waitForBootloader(const OperationContext& context) {
    device::DeviceLink& link = context.link;
    platform::HidPlatform& platform = link.platform();
    const auto waitStarted = platform.monotonicTime();
    while (!bootloaderFound(link)) {
        if (context.host.cancelRequested())
            return failed(Outcome::Cancelled, messages::upgradeCancelled());
        if (platform.monotonicTime() - waitStarted >= context.settings.upgradeWaitLimit) {
            return failed(Outcome::TimedOut,
                          messages::upgradeNoBootloader(context.settings.upgradeWaitLimit));
        }
        link.closeConnection();
        platform.sleep(context.settings.upgradeWaitPeriod);
        searchAgain(link);
        if (auto taken = bootloaderTakenElsewhere(link))
            return taken;
        context.host.processEvents();
    }
    return std::nullopt;
}

OperationResult switchWaitAndDownload(const OperationContext& context,
                                      std::span<const std::uint8_t> image) {
    if (auto stop = switchToBootloader(context))
        return *stop;
    if (auto stop = waitForBootloader(context))
        return *stop;
    if (auto refusal = reportLengthRefusal(context.link, device::ReportUse::Download))
        return *refusal;
    return sendBootloaderImage(context, image);
}

}  // namespace

OperationResult runUpgrade(const OperationContext& context) {
    if (auto refusal = refusalWithoutDevice(context))
        return *refusal;
    // A device is never put into its bootloader with nothing to load.
    const CheckedImage image =
        loadCheckedImage(context, context.files.downloadImage(),
                         context.files.downloadImageOrigin(), LargestImageWritten);
    if (image.refusal) {
        tellUser(context.host, *image.refusal);
        return *image.refusal;
    }
    if (auto refusal = reportLengthRefusal(context.link, device::ReportUse::Upgrade)) {
        tellUser(context.host, *refusal);
        return *refusal;
    }

    context.host.showUpgradeBusy();
    // From the restart into the bootloader to the image's last record, the wait included.
    auto awake = keepAwakeWhileWriting(context);
    const OperationResult result = switchWaitAndDownload(context, image.bytes);
    awake.reset();
    endProgram(context, result);
    return result;
}

}  // namespace fwu::firmware
