#include "window/device_backend.h"

#include "simulator/chosen_platform.h"
#include "window/window_texts.h"

namespace fwu::window {
std::unique_ptr<DeviceBackend> DeviceBackend::open(const BackendChoice& choice,
                                                   std::string& problem) {
    auto backend = std::make_unique<DeviceBackend>();
    backend->devices_ = simulator::makeChosenPlatform(choice.simulate, problem);
    if (!backend->devices_) {
        problem = texts::simulationNotSetUp(problem);
        return nullptr;
    }
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
