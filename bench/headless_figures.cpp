// The figures without a window: the report transfers alone, and the update and the dump under a
// host that does nothing.
#include <algorithm>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "bench/bench_setup.h"
#include "bench/figure_program.h"
#include "cli/application.h"
#include "device/device_link.h"
#include "device/reports.h"
#include "firmware/operation_host.h"
#include "firmware/operations.h"
#include "simulator/demo_setup.h"

namespace fwu::bench {
namespace {

using namespace std::chrono_literals;

// A host that shows nothing, processes nothing and never cancels.
class SilentHost : public firmware::OperationHost {
  public:
    void showProgress() override {}
    void advanceProgress(std::int64_t, std::int64_t) override {}
    void clearProgress() override {}
    void processEvents() override {}
    void disableUpdateButton() override {}
    void clearProductAndVersion() override {}
    void showUpgradeBusy() override {}
    void setStatusText(const std::string&) override {}
    void unload() override {}
    void showError(const std::string&) override {}
    void showNotice(const std::string&) override {}
    bool cancelRequested() override { return false; }
    void busyChanged(bool) override {}
};

void connect(device::DeviceLink& link) {
    if (!link.findTheHid())
        throw std::runtime_error("the simulated device was not found");
}

// The image as the update sends it: whole records, then the last read, zero-filled past the
// end of the file.
std::vector<device::ImageRecord> imageRecords(const std::vector<std::uint8_t>& image) {
    std::vector<device::ImageRecord> records(UpdateRecordReports);
    for (std::size_t index = 0; index < records.size(); ++index) {
        const std::size_t offset = std::min(index * protocol::ImageRecordSize, image.size());
        const std::size_t length = std::min(protocol::ImageRecordSize, image.size() - offset);
        std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(offset), length,
                    records[index].begin());
    }
    return records;
}

// Write-record reports straight through the device link, after a start and an erase that are
// not timed.
RunMeasurement runRaw(const ProgramFolder& folder) {
    BenchBus bench = makeBenchBus(0us);
    device::DeviceLink link(*bench.bus);
    connect(link);
    const auto records = imageRecords(folder.image());
    std::vector<std::uint8_t> buffer(link.featureReportLength(), 0);
    if (!(device::writeStartReport(buffer) && link.sendFeatureReport(buffer) &&
          device::writeEraseReport(buffer, static_cast<std::int32_t>(records.size())) &&
          link.sendFeatureReport(buffer))) {
        throw std::runtime_error("the device refused the start or the erase");
    }
    const auto transfersBefore = bench.transfers();
    bool allSent = true;
    const Timing timing = timed([&] {
        for (const device::ImageRecord& record : records) {
            allSent = device::writeWriteRecordReport(buffer, record) &&
                      link.sendFeatureReport(buffer) && allSent;
        }
    });
    if (!allSent)
        throw std::runtime_error("the device refused a record");
    return {timing, records.size(), bench.transfers() - transfersBefore};
}

RunMeasurement runOperation(const ProgramFolder& folder, Operation operation) {
    BenchBus bench = makeBenchBus(0us);
    device::DeviceLink link(*bench.bus);
    connect(link);
    SilentHost host;
    firmware::FirmwareOperations operations(link, host, firmware::ProgramFiles{folder.path()});
    firmware::OperationResult result;
    const auto run =
        operation == Operation::Update ? firmware::Operation::Update : firmware::Operation::Dump;
    const Timing timing = timed([&] { result = operations.run(run); });
    if (result.outcome != firmware::Outcome::Succeeded)
        throw std::runtime_error("the operation failed: " + result.message);
    return checkedMeasurement(operation, bench, folder, timing);
}

// `firmware-update-cli --simulate --all update`: one worker per device, all updating at once,
// on the bus --simulate makes (the real clock, 1 ms per transfer). The run is timed from the
// command line's start to its end: the device search, the updates and the summary.
RunMeasurement runUpdateOnDevices(const ProgramFolder& folder, std::size_t deviceCount) {
    simulator::DemoSettings settings;
    settings.clock = simulator::SimulatedBus::Clock::Real;
    settings.latency = 1ms;
    settings.deviceCount = deviceCount;
    const std::shared_ptr<simulator::SimulatedBus> bus = simulator::makeDemoBus(settings);
    const auto devices = bus->enumerateInterfaces();
    std::ostringstream out, err;
    const cli::Environment environment{out, err, false, [bus](bool, std::string&) { return bus; },
                                       [&] { return std::optional(folder.path()); }};
    const std::vector<std::string_view> arguments{"--simulate", "--all", "update"};
    int status = -1;
    const Timing timing = timed([&] { status = cli::run(arguments, environment); });
    if (status != 0)
        throw std::runtime_error("the updates failed:\n" + out.str() + err.str());
    std::uint64_t transfersOfOne = 0;
    for (const platform::InterfaceEntry& device : devices) {
        const auto state = bus->state(device.path);
        if (state.recordsReceived != UpdateRecordReports || !state.finishedComplete)
            throw std::runtime_error("the update of " + device.path + " did not complete");
        transfersOfOne = std::max(transfersOfOne, state.requests);
    }
    // The devices work side by side: the floor is one device's transfers.
    return {timing, deviceCount * UpdateRecordReports, transfersOfOne};
}

}  // namespace
}  // namespace fwu::bench

int main(int argc, char** argv) {
    using namespace fwu::bench;
    const ProgramFolder folder;
    const std::vector<Figure> figures{
        {"raw", 0us, [&] { return runRaw(folder); }},
        {"update-headless", 0us, [&] { return runOperation(folder, Operation::Update); }},
        {"dump-headless", 0us, [&] { return runOperation(folder, Operation::Dump); }},
        {"update-8-devices", 1ms, [&] { return runUpdateOnDevices(folder, 8); }},
        {"update-64-devices", 1ms, [&] { return runUpdateOnDevices(folder, 64); }},
        {"update-127-devices", 1ms, [&] { return runUpdateOnDevices(folder, 127); }},
    };
    return runFigureProgram(argc, argv, figures);
}
