#include "platform/chosen_platform.h"

#include "platform/simulated/demo_setup.h"

namespace fwu::platform {

std::unique_ptr<HidPlatform> makeChosenPlatform(bool simulate, std::string& problem) {
    if (!simulate)
        return makeSystemPlatform();
    const auto settings = simulated::demoSettingsFromEnvironment();
    if (!settings.settings) {
        problem = settings.error;
        return nullptr;
    }
    return simulated::makeDemoBus(*settings.settings);
}

}  // namespace fwu::platform
