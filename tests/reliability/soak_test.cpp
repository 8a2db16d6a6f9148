#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdlib>
#include <iostream>
#include <random>
#include <string_view>

#include "device/reports.h"
#include "tests/reliability/process_resources.h"
#include "tests/reliability/scenarios.h"

// Update and dump cycles against a fresh simulated device each, with a random fault in most of
// them. FWU_SOAK_SEED repeats a run; FWU_SOAK_CYCLES makes it longer or shorter.
namespace fwu::reliability {
namespace {

using firmware::DumpFileName;
using firmware::FirmwareOperations;
using firmware::ProgramFiles;
using firmware::UpdateImageName;
using firmware::testing::Call;
using firmware::testing::readFile;
using firmware::testing::RecordingHost;
using firmware::testing::writeFile;
using platform::simulated::DeviceConfig;
using platform::simulated::SimulatedBus;

constexpr std::uint64_t DefaultCycles = 1000;
// Cycles run before the heap is first measured, so that one-time allocations are behind.
constexpr std::uint64_t WarmUpCycles = 100;
// glibc's per-thread cache holds freed blocks, counted as in use, until it is full: a few dozen
// KiB. CTest runs the suite with the cache off, and then the heap must stay flat but for noise.
constexpr std::size_t HeapGrowthWithCache = 64 * 1024;
constexpr std::size_t HeapGrowthWithoutCache = 4 * 1024;
constexpr std::string_view CacheOff = "glibc.malloc.tcache_count=0";
constexpr std::size_t LargestSoakImage = 2000;
constexpr std::size_t LargestSoakDump = 64;  // blocks
constexpr std::size_t SoakFlashBytes = 4096;

enum class FaultKind { None, TransferFails, Unplugged, Silent, ShortBlockReads, Cancel };
constexpr FaultKind FaultKinds[] = {
    FaultKind::None,   FaultKind::TransferFails,   FaultKind::Unplugged,
    FaultKind::Silent, FaultKind::ShortBlockReads, FaultKind::Cancel};

std::uint64_t fromEnvironment(const char* name, std::uint64_t fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::strtoull(value, nullptr, 0) : fallback;
}

// A folder for the soak's files, in memory where the system has such a place: every complete
// dump is flushed to the disk, which on a real disk costs milliseconds each time.
class SoakFolder {
  public:
    SoakFolder() {
        const fs::path base =
            fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "fwu-soak-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a folder for the soak");
        path_ = pattern;
    }
    ~SoakFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    SoakFolder(const SoakFolder&) = delete;
    SoakFolder& operator=(const SoakFolder&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

std::size_t heapGrowthTolerance() {
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    const bool cacheOff =
        tunables && std::string_view(tunables).find(CacheOff) != std::string_view::npos;
    return cacheOff ? HeapGrowthWithoutCache : HeapGrowthWithCache;
}

Bytes randomBytes(std::mt19937_64& random, std::size_t size) {
    Bytes bytes(size);
    for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    return bytes;
}

// What one cycle found; the soak adds them up for its summary.
struct Tally {
    std::uint64_t faultsPlanted = 0;
    std::uint64_t operationsFailed = 0;
    std::uint64_t operationsSucceeded = 0;
    std::uint64_t dumpsChecked = 0;
};

class SoakCycle {
  public:
    SoakCycle(std::mt19937_64& random, const fs::path& folder, Tally& tally)
        : random_(random), folder_(folder), tally_(tally) {}

    void run(Bytes& expectedDump) {
        const DeviceConfig config = plantFault();
        const std::string path = bus_.addDevice(config);
        {
            device::DeviceLink link(bus_);
            FirmwareOperations operations(link, host_, ProgramFiles{folder_}, settings_);
            runUpdate(link, operations, path);
            runDump(link, operations, path, expectedDump);
            EXPECT_EQ(host_.count(Call::Unload), 0u);
        }
        EXPECT_EQ(bus_.openHandleCount(), 0);
    }

  private:
    DeviceConfig plantFault() {
        image_ = randomBytes(random_, 1 + random_() % LargestSoakImage);
        writeFile(folder_ / UpdateImageName, image_);
        settings_.dumpBlockCount = 1 + random_() % LargestSoakDump;
        DeviceConfig config;
        config.initialFlash = randomBytes(random_, SoakFlashBytes);
        const std::uint64_t requests =
            2 + (image_.size() / protocol::ImageRecordSize + 1) + 1 + 1 + settings_.dumpBlockCount;
        const std::uint64_t at = random_() % (requests + 1);
        const FaultKind kind = FaultKinds[random_() % std::size(FaultKinds)];
        tally_.faultsPlanted += kind != FaultKind::None;
        switch (kind) {
            case FaultKind::None:
                break;
            case FaultKind::TransferFails:
                config.faults.failTransfersFrom = at;
                break;
            case FaultKind::Unplugged:
                config.faults.unplugAtRequest = at;
                break;
            case FaultKind::Silent:
                config.faults.hangAtRequest = at;
                break;
            case FaultKind::ShortBlockReads:
                config.faults.shortBlockReads =
                    at % device::minimumReportLength(device::ReportUse::Dump);
                break;
            case FaultKind::Cancel:
                host_.onCall = [this, at, calls = std::uint64_t{0}](const auto&) mutable {
                    if (calls++ == at)
                        host_.cancel = true;
                };
                break;
        }
        return config;
    }

    void runUpdate(device::DeviceLink& link, FirmwareOperations& operations,
                   const std::string& path) {
        if (!link.findTheHid())
            return;
        const std::size_t first = bus_.transcript().size();
        const OperationResult result = operations.update();
        expectStoppedAtFirstFailure(result, first);
        if (result.outcome == Outcome::Succeeded) {
            const auto device = bus_.state(path);
            EXPECT_TRUE(device.finishedComplete);
            EXPECT_TRUE(std::equal(image_.begin(), image_.end(), device.flash.begin()));
        }
        EXPECT_EQ(bus_.openHandleCount(), 0);
    }

    void runDump(device::DeviceLink& link, FirmwareOperations& operations, const std::string& path,
                 Bytes& expectedDump) {
        host_.cancel = false;
        if (link.findTheHid()) {
            const std::size_t first = bus_.transcript().size();
            const OperationResult result = operations.dump();
            expectStoppedAtFirstFailure(result, first);
            if (result.outcome == Outcome::Succeeded) {
                const Bytes flash = bus_.state(path).flash;
                const auto dumped = static_cast<std::ptrdiff_t>(settings_.dumpBlockCount * 32);
                expectedDump.assign(flash.begin(), flash.begin() + dumped);
            }
            link.closeConnection();
        }
        // The earlier dump untouched, or the complete new one.
        EXPECT_EQ(readFile(folder_ / DumpFileName), expectedDump);
        ++tally_.dumpsChecked;
    }

    // A failed transfer ends the operation with a message; a run without one succeeds unless
    // something else stopped it, and says so.
    void expectStoppedAtFirstFailure(const OperationResult& result, std::size_t first) {
        const auto& transcript = bus_.transcript();
        std::optional<std::size_t> failure;
        for (std::size_t i = first; i < transcript.size() && !failure; ++i) {
            if (!transcript[i].succeeded)
                failure = i;
        }
        if (failure) {
            EXPECT_EQ(result.outcome, Outcome::TransferFailed) << result.message;
            EXPECT_EQ(*failure + 1, transcript.size()) << "a report followed a failed one";
        }
        if (result.outcome == Outcome::Succeeded) {
            EXPECT_TRUE(result.message.empty());
            ++tally_.operationsSucceeded;
        } else {
            EXPECT_FALSE(result.message.empty());
            ++tally_.operationsFailed;
        }
    }

    std::mt19937_64& random_;
    const fs::path& folder_;
    Tally& tally_;
    SimulatedBus bus_;
    RecordingHost host_;
    firmware::OperationSettings settings_;
    Bytes image_;
};

TEST(Soak, UpdateAndDumpCyclesWithRandomFaultsLeaveNothingBehind) {
    const std::uint64_t seed = fromEnvironment("FWU_SOAK_SEED", std::random_device{}());
    const std::uint64_t cycles = fromEnvironment("FWU_SOAK_CYCLES", DefaultCycles);
    std::cout << "Soak: " << cycles << " cycles, seed " << seed << " (set FWU_SOAK_SEED to repeat)"
              << std::endl;
    RecordProperty("seed", std::to_string(seed));
    std::mt19937_64 random(seed);
    SoakFolder folder;
    Bytes expectedDump;
    Tally tally;
    const std::size_t descriptors = openFileDescriptorCount();
    std::optional<std::size_t> heapAfterWarmUp;

    for (std::uint64_t cycle = 0; cycle < cycles; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle) + " of the soak with seed " +
                     std::to_string(seed));
        SoakCycle(random, folder.path(), tally).run(expectedDump);
        ASSERT_EQ(openFileDescriptorCount(), descriptors);
        if (::testing::Test::HasFailure())
            break;
        if (cycle + 1 == WarmUpCycles)
            heapAfterWarmUp = heapBytesInUse();
    }

    std::cout << "Soak: " << tally.faultsPlanted << " faults planted, " << tally.operationsSucceeded
              << " operations succeeded, " << tally.operationsFailed << " stopped with a message, "
              << tally.dumpsChecked << " dump files checked" << std::endl;
    if (builtWithAddressSanitizer()) {
        std::cout << "Soak: heap growth not measured: AddressSanitizer replaces the allocator "
                     "and holds freed memory in quarantine; its leak check covers this build."
                  << std::endl;
        return;
    }
    if (heapAfterWarmUp) {
        const auto heapAtEnd = heapBytesInUse();
        ASSERT_TRUE(heapAtEnd.has_value());
        std::cout << "Soak: heap in use " << *heapAfterWarmUp << " bytes after the warm-up, "
                  << *heapAtEnd << " at the end" << std::endl;
        EXPECT_LE(*heapAtEnd, *heapAfterWarmUp + heapGrowthTolerance())
            << "heap in use grew from " << *heapAfterWarmUp << " to " << *heapAtEnd << " bytes";
    }
}

}  // namespace
}  // namespace fwu::reliability
