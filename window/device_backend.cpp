#include "window/device_backend.h"

#include "simulator/chosen_platform.h"
#include "window/window_texts.h"

namespace fwu::window {
std::unique_ptr<DeviceBackend> DeviceBackend::open(const BackendChoice& choice,
                                                   const firmware::ProgramFiles& files,
                                                   std::string& problem) {
    auto backend = std::make_unique<DeviceBackend>();
    backend->devices_ = simulator::makeChosenPlatform(choice.simulate, problem);
    if (!backend->devices_) {
        problem = texts::simulationNotSetUp(problem);
        return nullptr;
    }
    if (choice.traceFile) {
        const firmware::ProgramFile all[] = {firmware::ProgramFile::UpdateImage,
                                             firmware::ProgramFile::DownloadImage,
                                             firmware::ProgramFile::DumpFile};
        auto roles = firmware::fileRoles(files, all);
        roles.push_back({"the trace file", *choice.traceFile});
        if (auto clash = firmware::fileInTwoRoles(roles)) {
            problem = std::move(*clash);
            return nullptr;
        }
        platform::PlaceProblem why;
        auto trace = platform::openToOverwrite(*choice.traceFile, why);
        if (!trace) {
            problem = texts::traceNotWritable(*choice.traceFile, why);
            return nullptr;
        }
        backend->traceStream_.emplace(std::move(*trace));
        backend->tracing_.emplace(*backend->devices_, *backend->traceStream_);
    }
    return backend;
}

}  // namespace fwu::window
