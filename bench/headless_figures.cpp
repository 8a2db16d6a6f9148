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
    const auto elapsed = timed([&] {
        for (const device::ImageRecord& record : records) {
            allSent = device::writeWriteRecordReport(buffer, record) &&
                      link.sendFeatureReport(buffer) && allSent;
        }
    });
    if (!allSent)
        throw std::runtime_error("the device refused a record");
    return {elapsed, records.size(), bench.transfers() - transfersBefore};
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
    const auto elapsed = timed([&] { result = operations.run(run); });
    if (result.outcome != firmware::Outcome::Succeeded)
        throw std::runtime_error("the operation failed: " + result.message);
    return checkedMeasurement(operation, bench, folder, elapsed);
}

// The command line's --all: one worker per device, all eight updating at once, each device at
// 1 ms per transfer on the real clock. The run is timed from the command line's start to its
// end: the device search, the eight updates and the summary.
RunMeasurement runUpdateOnDevices(const ProgramFolder& folder, std::size_t deviceCount) {
    using simulator::SimulatedBus;
    auto bus = std::make_shared<SimulatedBus>(SimulatedBus::Clock::Real);
    bus->setTranscriptRecording(false);
    std::vector<std::string> paths;
    for (std::size_t index = 0; index < deviceCount; ++index) {
        simulator::DeviceConfig config;
        config.latencyPerTransfer = 1ms;
        const std::u16string serial =
            u"BENCH-" + std::u16string(1, static_cast<char16_t>(u'1' + index));
        config.serialNumber = simulator::utf16Bytes(serial);
        paths.push_back(bus->addDevice(config));
    }
    std::ostringstream out, err;
    const cli::Environment environment{out, err, false, [bus](bool, std::string&) { return bus; },
                                       [&] { return std::optional(folder.path()); }};
    const std::vector<std::string_view> arguments{"--all", "update"};
    int status = -1;
    const auto elapsed = timed([&] { status = cli::run(arguments, environment); });
    if (status != 0)
        throw std::runtime_error("the updates failed:\n" + out.str() + err.str());
    std::uint64_t transfersOfOne = 0;
    for (const std::string& path : paths) {
        const auto state = bus->state(path);
        if (state.recordsReceived != UpdateRecordReports || !state.finishedComplete)
            throw std::runtime_error("the update of " + path + " did not complete");
        transfersOfOne = std::max(transfersOfOne, state.requests);
    }
    // The devices work side by side: the floor is one device's transfers.
    return {elapsed, deviceCount * UpdateRecordReports, transfersOfOne};
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
    };
    return runFigureProgram(argc, argv, figures);
}
