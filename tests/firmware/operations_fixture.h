#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "firmware/operations.h"
#include "recording_host.h"
#include "simulator/simulated_bus.h"

namespace fwu::firmware::testing {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using simulator::DeviceConfig;
using simulator::DeviceMode;
using simulator::Direction;
using simulator::SimulatedBus;
using namespace std::chrono_literals;

// The simulated bus, keeping the length of every sleep.
class LoggedBus : public SimulatedBus {
  public:
    std::vector<std::chrono::milliseconds> entries;

    void sleep(std::chrono::milliseconds duration) override {
        entries.push_back(duration);
        SimulatedBus::sleep(duration);
    }
    const std::vector<std::chrono::milliseconds>& sleeps() const { return entries; }
};

// A folder of its own for each test, removed afterwards.
class TempFolder {
  public:
    // create_directory claims a random name only when it is new; Windows has no mkdtemp.
    TempFolder() {
        std::random_device random;
        while (!fs::create_directory(path_ = fs::temp_directory_path() /
                                             ("fwu-" + std::to_string(random())))) {
        }
    }
    ~TempFolder() { fs::remove_all(path_, ignored_); }
    TempFolder(const TempFolder&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
    std::error_code ignored_;
};

// Whether this system lets the tests plant symbolic links (mingw's library cannot on Windows).
inline bool canCreateSymlinks() {
    TempFolder folder;
    std::error_code error;
    fs::create_symlink(folder.path() / "target", folder.path() / "link", error);
    return !error;
}

// Bytes that differ from their neighbours and are never zero, so that padding shows.
inline Bytes imageBytes(std::size_t size, std::uint8_t seed = 1) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(1 + (i * 7 + seed) % 251);
    return bytes;
}

inline void writeFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

inline Bytes readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A report of `length` bytes: `head` from position 0, then `payload`, then zeros.
inline Bytes expectedReport(std::size_t length, const Bytes& head,
                            std::span<const std::uint8_t> payload = {}) {
    Bytes report(length, 0);
    std::copy(head.begin(), head.end(), report.begin());
    std::copy(payload.begin(), payload.end(), report.begin() + static_cast<long>(head.size()));
    return report;
}

// Record `index` (from 0) of an image: its bytes, without padding.
inline std::span<const std::uint8_t> recordOf(const Bytes& image, std::size_t index) {
    const std::size_t begin = std::min(image.size(), index * 40);
    return std::span(image).subspan(begin, std::min<std::size_t>(image.size() - begin, 40));
}

// A device on a simulated bus, a recording host and a folder of program files: everything an
// operation runs against. One per test, or one per case of a table.
class OperationRig {
  public:
    TempFolder folder;
    LoggedBus bus;
    LoggedBus& log = bus;
    device::DeviceLink link{bus};
    RecordingHost host;
    OperationSettings settings;
    std::string devicePath;

    // Puts a device on the bus and runs the search, as the program's start-up does.
    void plugIn(const DeviceConfig& config = {}) {
        devicePath = bus.addDevice(config);
        ASSERT_TRUE(link.findTheHid());
    }

    FirmwareOperations& operations() {
        if (!operations_) {
            operations_ = std::make_unique<FirmwareOperations>(
                link, host, ProgramFiles{folder.path()}, settings);
        }
        return *operations_;
    }

    fs::path file(const char* name) const { return folder.path() / name; }

    std::vector<Bytes> reportsSent() const {
        std::vector<Bytes> result;
        for (const auto& entry : bus.transcript()) {
            if (entry.direction == Direction::HostToDevice)
                result.push_back(entry.bytes);
        }
        return result;
    }
    // Checks that a refusal sent nothing, told the user and changed nothing else.
    void expectRefusedQuietly(const OperationResult& result) {
        EXPECT_TRUE(bus.transcript().empty());
        EXPECT_FALSE(result.message.empty());
        EXPECT_EQ(host.sequence(),
                  (std::vector<Call>{Call::BusyChanged, Call::ShowError, Call::BusyChanged}));
        EXPECT_EQ(host.texts(Call::ShowError), std::vector<std::string>{result.message});
    }

  private:
    std::unique_ptr<FirmwareOperations> operations_;
};

}  // namespace fwu::firmware::testing
