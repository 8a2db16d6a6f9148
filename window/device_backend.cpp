#include "window/device_backend.h"

#include "platform/simulated/demo_setup.h"
#include "window/window_texts.h"

namespace fwu::window {
namespace {

std::unique_ptr<platform::HidPlatform> openDevices(bool simulate, std::string& problem) {
    if (!simulate)
        return platform::makeSystemPlatform();
    const auto settings = platform::simulated::demoSettingsFromEnvironment();
    if (!settings.settings) {
        problem = texts::simulationNotSetUp(settings.error);
        return nullptr;
    }
    return platform::simulated::makeDemoBus(*settings.settings);
}

}  // namespace

std::unique_ptr<DeviceBackend> DeviceBackend::open(const BackendChoice& choice,
                                                   std::string& problem) {
    auto backend = std::make_unique<DeviceBackend>();
    backend->devices_ = openDevices(choice.simulate, problem);
    if (!backend->devices_)
        return nullptr;
    if (choice.traceFile) {
        backend->traceStream_.open(*choice.traceFile, std::ios::out | std::ios::trunc);
        if (!backend->traceStream_) {
            problem = texts::traceNotWritable(*choice.traceFile);
            return nullptr;
        }
        backend->tracing_.emplace(*backend->devices_, backend->traceStream_);
    }
    return backend;
}

}  // namespace fwu::window
