#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/figure_program.h"
#include "device/protocol.h"
#include "simulator/simulated_bus.h"

namespace fwu::bench {

// A 1 MiB Velnor.bin makes FlashSize / 40 whole records and one more read: 26,215 reports.
inline constexpr std::size_t ImageSize = protocol::FlashSize;
inline constexpr std::uint64_t UpdateRecordReports =
    protocol::FlashSize / protocol::ImageRecordSize + 1;
inline constexpr std::uint64_t DumpBlocks = protocol::BlockCount;

// A program folder of its own in the temporary folder, holding a 1 MiB Velnor.bin; the dump
// writes its Ombrel.bin there. Removed with everything in it when destroyed.
class ProgramFolder {
  public:
    ProgramFolder();
    ~ProgramFolder();
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    const std::vector<std::uint8_t>& image() const { return image_; }

  private:
    std::filesystem::path path_;
    std::vector<std::uint8_t> image_;
};

// A simulated bus with one device of the family and no transcript (it would hold every report
// of the run). Without latency the bus runs on its virtual clock, so the 2 ms pauses of the
// update cost nothing; with latency, on the real clock, so every transfer takes that long.
struct BenchBus {
    std::unique_ptr<simulator::SimulatedBus> bus;
    std::string devicePath;

    std::uint64_t transfers() const { return bus->state(devicePath).requests; }
};
BenchBus makeBenchBus(std::chrono::microseconds latencyPerTransfer);

enum class Operation { Update, Dump };

// The measurement of one timed run of the update or the dump. Throws std::runtime_error unless
// the work was done: the device took every record and finished, or Ombrel.bin holds the flash.
RunMeasurement checkedMeasurement(Operation operation, const BenchBus& bench,
                                  const ProgramFolder& folder, const Timing& timing);

}  // namespace fwu::bench
