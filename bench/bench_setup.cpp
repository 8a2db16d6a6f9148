#include "bench/bench_setup.h"

#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <system_error>

#include "firmware/program_files.h"

namespace fwu::bench {
namespace {

std::vector<std::uint8_t> imageBytes() {
    std::vector<std::uint8_t> bytes(ImageSize);
    for (std::size_t index = 0; index < bytes.size(); ++index)
        bytes[index] = static_cast<std::uint8_t>(index * 7 + index / 251);
    return bytes;
}

std::filesystem::path uniqueFolder() {
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate =
            base / ("fwu-bench-" + std::to_string(getpid()) + "-" + std::to_string(attempt));
        if (std::filesystem::create_directory(candidate))
            return candidate;
    }
    throw std::runtime_error("cannot create a program folder in " + base.string());
}

}  // namespace

ProgramFolder::ProgramFolder() : path_(uniqueFolder()), image_(imageBytes()) {
    std::ofstream file(path_ / firmware::UpdateImageName, std::ios::binary);
    file.write(reinterpret_cast<const char*>(image_.data()),
               static_cast<std::streamsize>(image_.size()));
    if (!file.flush())
        throw std::runtime_error("cannot write the image into " + path_.string());
}

ProgramFolder::~ProgramFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

BenchBus makeBenchBus(std::chrono::microseconds latencyPerTransfer) {
    using simulator::SimulatedBus;
    const auto clock =
        latencyPerTransfer.count() > 0 ? SimulatedBus::Clock::Real : SimulatedBus::Clock::Virtual;
    BenchBus bench{std::make_unique<SimulatedBus>(clock), {}};
    bench.bus->setTranscriptRecording(false);
    simulator::DeviceConfig config;
    config.latencyPerTransfer = latencyPerTransfer;
    bench.devicePath = bench.bus->addDevice(config);
    return bench;
}

namespace {

void requireCompleteUpdate(const BenchBus& bench) {
    const auto state = bench.bus->state(bench.devicePath);
    if (state.recordsReceived != UpdateRecordReports || !state.finishedComplete) {
        throw std::runtime_error("the update did not complete: the device took " +
                                 std::to_string(state.recordsReceived) + " records");
    }
}

void requireCompleteDump(const ProgramFolder& folder) {
    std::error_code error;
    const auto size = std::filesystem::file_size(folder.path() / firmware::DumpFileName, error);
    if (error || size != protocol::FlashSize)
        throw std::runtime_error("the dump did not write the whole flash");
}

}  // namespace

RunMeasurement checkedMeasurement(Operation operation, const BenchBus& bench,
                                  const ProgramFolder& folder, const Timing& timing) {
    if (operation == Operation::Update) {
        requireCompleteUpdate(bench);
        return {timing, UpdateRecordReports, bench.transfers()};
    }
    requireCompleteDump(folder);
    return {timing, DumpBlocks, bench.transfers()};
}

}  // namespace fwu::bench
