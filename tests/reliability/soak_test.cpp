#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <random>

#include "tests/reliability/rig.h"

// Update and dump cycles, each against a fresh simulated device with a random image, dump
// length and, most of the time, a random fault, all in one program folder. FWU_SOAK_SEED repeats
// a run; FWU_SOAK_CYCLES makes it longer or shorter.
namespace fwu::reliability {
namespace {

std::uint64_t setting(const char* name, std::uint64_t fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::strtoull(value, nullptr, 0) : fallback;
}

std::size_t heapBytesInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

TEST(Soak, UpdateAndDumpCyclesWithRandomFaultsLeaveNothingBehind) {
    const std::uint64_t seed = setting("FWU_SOAK_SEED", std::random_device{}());
    const std::uint64_t cycles = setting("FWU_SOAK_CYCLES", 1000);
    std::cout << "Soak: " << cycles << " cycles, seed " << seed << std::endl;
    std::mt19937_64 random(seed);
    // In memory where the system has such a place: every complete dump is flushed to the disk.
    const fs::path folder =
        (fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path()) /
        ("fwu-soak-" + std::to_string(getpid()));
    fs::create_directory(folder);
    Bytes dump;  // what Ombrel.bin must hold: nothing yet, or the last complete dump
    const std::size_t descriptors = openFileDescriptorCount();
    std::size_t heapAfterWarmUp = 0;

    for (std::uint64_t cycle = 0; cycle < cycles && !HasFailure(); ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        if (cycle == 100)  // one-time allocations are behind by then
            heapAfterWarmUp = heapBytesInUse();
        SimulatedBus bus;
        device::DeviceLink link(bus);
        RecordingHost host;
        firmware::OperationSettings settings;
        const Bytes image = imageBytes(1 + random() % 2000, static_cast<std::uint8_t>(random()));
        writeFile(folder / UpdateImageName, image);
        settings.dumpBlockCount = 1 + random() % 64;
        DeviceConfig device;
        device.initialFlash = imageBytes(4096, static_cast<std::uint8_t>(random()));
        // At a request of either operation or one past them, a fault of the sweep, short block
        // reads or a cancel; or no fault.
        const std::uint64_t at = random() % (image.size() / 40 + 6 + settings.dumpBlockCount);
        const std::size_t fault = random() % (std::size(Faults) + 3);
        if (fault < std::size(Faults))
            device.faults.*Faults[fault].second = at;
        else if (fault == std::size(Faults))
            device.faults.shortBlockReads = at % Dump.needs;
        else if (fault == std::size(Faults) + 1)
            host.onCall = [&host, at, calls = 0ull](const HostCall&) mutable {
                host.cancel = host.cancel || calls++ == at;
            };
        const std::string path = bus.addDevice(device);
        EXPECT_TRUE(link.findTheHid());
        FirmwareOperations operations(link, host, firmware::ProgramFiles{folder}, settings);

        const OperationResult update = operations.run(firmware::Operation::Update);
        EXPECT_EQ(bus.state(path).finishedComplete, update.outcome == Outcome::Succeeded);
        host.cancel = false;
        const bool dumpRan = link.findTheHid();
        const OperationResult dumped = dumpRan ? operations.run(firmware::Operation::Dump) : update;
        link.closeConnection();

        const Bytes flash = bus.state(path).flash;
        for (const OperationResult& result : {update, dumped})
            EXPECT_EQ(result.message.empty(), result.outcome == Outcome::Succeeded);
        EXPECT_TRUE(update.outcome != Outcome::Succeeded ||
                    std::equal(image.begin(), image.end(), flash.begin()));
        if (dumpRan && dumped.outcome == Outcome::Succeeded)
            dump.assign(flash.begin(), flash.begin() + settings.dumpBlockCount * 32);
        EXPECT_EQ(readFile(folder / firmware::DumpFileName), dump) << "earlier or complete dump";
        EXPECT_EQ(host.count(Call::Unload), 0u);
        EXPECT_EQ(bus.openHandleCount(), 0);
        EXPECT_EQ(openFileDescriptorCount(), descriptors);
    }
    fs::remove_all(folder);

    // glibc's per-thread cache holds freed blocks, counted as in use, until it is full: a few
    // dozen KiB. CTest turns it off, and then the heap must stay flat but for noise.
    const char* cache = std::getenv("GLIBC_TUNABLES");
    const std::size_t noise = cache && std::strstr(cache, "tcache_count=0") ? 4 << 10 : 64 << 10;
    if (FWU_HEAP_MEASURED && heapAfterWarmUp > 0 && !HasFailure()) {
        EXPECT_LE(heapBytesInUse(), heapAfterWarmUp + noise)
            << "after the warm-up: " << heapAfterWarmUp;
    }
}

}  // namespace
}  // namespace fwu::reliability
