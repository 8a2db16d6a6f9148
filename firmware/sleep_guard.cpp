#include "firmware/sleep_guard.h"

#include "firmware/messages.h"
#include "firmware/operation_host.h"

namespace fwu::firmware {

std::unique_ptr<platform::SleepBlock> SleepGuard::keepAwake(const std::string& device,
                                                            OperationHost& host) {
    if (!inhibitor_)
        return nullptr;
    platform::SleepRequest request =
        inhibitor_->keepAwake(messages::SleepInhibitorOwner, messages::writingFirmwareTo(device));
    if (request.refusal && !refusalTold_.exchange(true))
        host.showNotice(messages::sleepNotPrevented(*request.refusal));
    return std::move(request.block);
}

}  // namespace fwu::firmware
