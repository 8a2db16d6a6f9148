#include "simulator/chosen_platform.h"

#include "simulator/demo_setup.h"

namespace fwu::simulator {

std::unique_ptr<platform::HidPlatform> makeChosenPlatform(bool simulate, std::string& problem) {
    if (!simulate)
        return platform::makeSystemPlatform();
    const auto settings = demoSettingsFromEnvironment();
    if (!settings.settings) {
        problem = settings.error;
        return nullptr;
    }
    return makeDemoBus(*settings.settings);
}

}  // namespace fwu::simulator
