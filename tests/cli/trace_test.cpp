// The command line run in the test process on a bus the test holds: the trace file against the
// bus's own transcript, and what reached the device against the files.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/application.h"
#include "platform/simulated/simulated_bus.h"
#include "platform/tracing_platform.h"
#include "tests/firmware/operations_fixture.h"

namespace fwu::cli::test {
namespace {

namespace fs = std::filesystem;
using firmware::testing::imageBytes;
using firmware::testing::readLines;
using firmware::testing::TempFolder;
using firmware::testing::writeFile;
using platform::simulated::DeviceConfig;
using platform::simulated::Direction;
using platform::simulated::SimulatedBus;

std::vector<std::string> transcriptLines(const SimulatedBus& bus) {
    std::vector<std::string> lines;
    for (const auto& entry : bus.transcript()) {
        const auto direction = entry.direction == Direction::HostToDevice
                                   ? platform::TraceDirection::HostToDevice
                                   : platform::TraceDirection::DeviceToHost;
        lines.push_back(platform::traceLine(direction, entry.bytes, entry.succeeded));
    }
    return lines;
}

struct TraceCase {
    const char* name;
    std::vector<std::string> arguments;  // the file argument is added for update and dump
    std::function<void(DeviceConfig&)> configure;
    int exitStatus;
    std::size_t reports;
};

void PrintTo(const TraceCase& c, std::ostream* os) {
    *os << c.name;
}

constexpr std::size_t ImageSize = 85;

const TraceCase TraceCases[] = {
    {"update", {"update"}, [](DeviceConfig&) {}, 0, 1 + 1 + 3 + 1},
    {"update with the second record refused",
     {"update"},
     [](DeviceConfig& config) { config.faults.failTransfersFrom = 3; },
     1,
     4},
    {"dump", {"dump"}, [](DeviceConfig&) {}, 0, 1 + 32768},
    {"dump with a block read failing",
     {"dump"},
     [](DeviceConfig& config) { config.faults.failTransfersFrom = 6; },
     1,
     7},
    {"erase", {"erase"}, [](DeviceConfig&) {}, 0, 1},
};

class TraceFile : public testing::TestWithParam<TraceCase> {
  protected:
    int runCli(std::vector<std::string> arguments) {
        auto platformFor = [this](bool, std::string&) {
            return std::shared_ptr<platform::HidPlatform>(bus_);
        };
        Environment environment{out_, err_, false, platformFor,
                                [this] { return std::optional(folder_.path()); }};
        const std::vector<std::string_view> views(arguments.begin(), arguments.end());
        return run(views, environment);
    }

    TempFolder folder_;
    std::shared_ptr<SimulatedBus> bus_ = std::make_shared<SimulatedBus>();
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_P(TraceFile, EqualsTheTranscriptOfTheBus) {
    const TraceCase& c = GetParam();
    DeviceConfig config;
    c.configure(config);
    bus_->addDevice(config);
    writeFile(folder_.path() / "Velnor.bin", imageBytes(ImageSize));
    const auto tracePath = folder_.path() / "trace.txt";

    std::vector<std::string> arguments{"--simulate", "--trace", tracePath.string()};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    EXPECT_EQ(runCli(arguments), c.exitStatus) << err_.str();

    const auto trace = readLines(tracePath);
    EXPECT_EQ(trace.size(), c.reports);
    EXPECT_EQ(trace, transcriptLines(*bus_));
    if (c.exitStatus != 0) {
        EXPECT_TRUE(trace.back().ends_with(" failed")) << trace.back();
    }
    EXPECT_EQ(bus_->openHandleCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Commands, TraceFile, testing::ValuesIn(TraceCases),
                         [](const testing::TestParamInfo<TraceCase>& info) {
                             return "case" + std::to_string(info.index);
                         });

}  // namespace
}  // namespace fwu::cli::test
