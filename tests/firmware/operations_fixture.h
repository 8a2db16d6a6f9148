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
#include "platform/simulated/simulated_bus.h"
#include "recording_host.h"

namespace fwu::firmware::testing {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using platform::simulated::DeviceConfig;
using platform::simulated::DeviceMode;
using platform::simulated::Direction;
using platform::simulated::SimulatedBus;
using namespace std::chrono_literals;

// Forwards every call to the simulated bus and logs, at the bus's time, the calls whose order
// and timing the operations must keep.
class CallLog : public platform::HidPlatform {
  public:
    enum class Kind { Enumerate, SetFeature, GetFeature, Sleep };
    struct Entry {
        Kind kind;
        std::chrono::milliseconds at;
        std::chrono::milliseconds slept{0};
    };
    std::vector<Entry> entries;

    explicit CallLog(SimulatedBus& bus) : bus_(bus) {}

    std::vector<platform::InterfaceEntry> enumerateInterfaces() override {
        log(Kind::Enumerate);
        return bus_.enumerateInterfaces();
    }
    platform::OpenResult open(const std::string& path, platform::OpenMode mode) override {
        return bus_.open(path, mode);
    }
    bool close(platform::Handle handle) override { return bus_.close(handle); }
    std::optional<platform::Attributes> attributes(platform::Handle handle) override {
        return bus_.attributes(handle);
    }
    std::optional<platform::Capabilities> capabilities(platform::Handle handle) override {
        return bus_.capabilities(handle);
    }
    bool identityString(platform::Handle handle, platform::IdentityString which,
                        std::span<std::uint8_t> buffer) override {
        return bus_.identityString(handle, which, buffer);
    }
    bool setFeature(platform::Handle handle, std::span<const std::uint8_t> report) override {
        log(Kind::SetFeature);
        return bus_.setFeature(handle, report);
    }
    std::optional<std::size_t> getFeature(platform::Handle handle,
                                          std::span<std::uint8_t> report) override {
        log(Kind::GetFeature);
        return bus_.getFeature(handle, report);
    }
    void sleep(std::chrono::milliseconds duration) override {
        entries.push_back({Kind::Sleep, bus_.monotonicTime(), duration});
        bus_.sleep(duration);
    }
    std::chrono::milliseconds monotonicTime() override { return bus_.monotonicTime(); }

    std::vector<std::chrono::milliseconds> sleeps() const {
        std::vector<std::chrono::milliseconds> result;
        for (const auto& entry : entries) {
            if (entry.kind == Kind::Sleep)
                result.push_back(entry.slept);
        }
        return result;
    }

  private:
    void log(Kind kind) { entries.push_back({kind, bus_.monotonicTime()}); }
    SimulatedBus& bus_;
};

// A folder of its own for each test, removed afterwards.
class TempFolder {
  public:
    // create_directory claims a random name only when it is new; Windows has no mkdtemp.
    TempFolder() {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const auto candidate =
                fs::temp_directory_path() / ("fwu-ops-" + std::to_string(random()));
            if (fs::create_directory(candidate))
                path_ = candidate;
        }
        if (path_.empty())
            throw std::runtime_error("cannot create a temporary folder");
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
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

inline std::vector<std::string> readLines(const fs::path& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
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
    const std::size_t end = std::min(image.size(), begin + 40);
    return std::span(image).subspan(begin, end - begin);
}

// A device on a simulated bus, a recording host and a folder of program files: everything an
// operation runs against. One per test, or one per case of a table.
class OperationRig {
  public:
    TempFolder folder;
    SimulatedBus bus;
    CallLog log{bus};
    device::DeviceLink link{log};
    RecordingHost host;
    OperationSettings settings;
    std::string devicePath;

    // Puts a device on the bus and runs the search, as the program's start-up does.
    void plugIn(const DeviceConfig& config = {}) {
        devicePath = bus.addDevice(config);
        ASSERT_TRUE(link.findTheHid());
    }
    DeviceConfig withReportLength(std::uint16_t length, DeviceMode mode = DeviceMode::Application) {
        DeviceConfig config;
        config.featureReportLength = length;
        config.mode = mode;
        return config;
    }

    FirmwareOperations& operations() {
        if (!operations_) {
            operations_ = std::make_unique<FirmwareOperations>(
                link, host, ProgramFiles{folder.path()}, settings);
        }
        return *operations_;
    }

    fs::path file(const char* name) const { return folder.path() / name; }

    std::vector<Bytes> reportsSent() const { return reports(Direction::HostToDevice); }
    std::vector<Bytes> answersRead() const { return reports(Direction::DeviceToHost); }
    std::size_t transfersAfterFirstFailure() const {
        const auto& transcript = bus.transcript();
        for (std::size_t i = 0; i < transcript.size(); ++i) {
            if (!transcript[i].succeeded)
                return transcript.size() - i - 1;
        }
        return 0;
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
    std::vector<Bytes> reports(Direction direction) const {
        std::vector<Bytes> result;
        for (const auto& entry : bus.transcript()) {
            if (entry.direction == direction)
                result.push_back(entry.bytes);
        }
        return result;
    }

    std::unique_ptr<FirmwareOperations> operations_;
};

}  // namespace fwu::firmware::testing
