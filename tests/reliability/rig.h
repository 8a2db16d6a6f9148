#pragma once

#include <gmock/gmock.h>

#include <iterator>

#include "tests/firmware/operations_fixture.h"

// The operations as the reliability tests run them, each on a device in the mode it needs, with
// an image of 6 records (the last one partial) and an earlier dump in its folder.
namespace fwu::reliability {

using namespace firmware::testing;
using firmware::FirmwareOperations;
using firmware::OperationResult;
using firmware::Outcome;
using ::testing::HasSubstr;

inline constexpr std::size_t DumpBlocks = 8;

struct Operation {
    const char* name;
    firmware::Operation run;
    DeviceMode mode;
    const char* image;  // the image it sends, if any
    // The shortest feature reports with which it sends anything, and runs to the end.
    std::uint16_t sends, needs;
    std::uint64_t requests;  // the feature transfers of a run that succeeds
};
using Run = firmware::Operation;
using firmware::DownloadImageName;
using firmware::UpdateImageName;
constexpr auto App = DeviceMode::Application;
constexpr auto Boot = DeviceMode::Bootloader;
// clang-format off
inline const Operation Operations[] = {
    {"update",           Run::Update,          App,  UpdateImageName,   49, 49, 9},
    {"download",         Run::Download,        Boot, DownloadImageName, 41, 41, 6},
    {"upgrade",          Run::Upgrade,         App,  DownloadImageName,  4, 41, 7},
    {"dump",             Run::Dump,            App,  nullptr,           36, 36, 9},
    {"erase chip",       Run::EraseChip,       App,  nullptr,            4,  4, 1},
    {"enter bootloader", Run::EnterBootloader, App,  nullptr,            4,  4, 1},
};
// clang-format on
// Requests: the update's start, erase, 6 record reads and finish; the upgrade's enter-bootloader
// command and 6 records; the dump's start and block reads.
inline const Operation &Update = Operations[0], &Download = Operations[1], &Upgrade = Operations[2],
                       &Dump = Operations[3];

// The faults a device can show at any request.
using simulator::FaultPlan;
inline constexpr std::pair<const char*, std::optional<std::uint64_t> FaultPlan::*> Faults[] = {
    {"a failed transfer", &FaultPlan::failTransfersFrom},
    {"an unplug", &FaultPlan::unplugAtRequest},
    {"a device that stops answering", &FaultPlan::hangAtRequest},
};

inline fs::path dumpFile(const OperationRig& rig) {
    return rig.file(firmware::DumpFileName);
}
inline fs::path partialFile(const OperationRig& rig) {
    return dumpFile(rig) += ".part";
}
// The status line of a run that got going: cleared, then "Done" after a success only.
inline const std::vector<std::string> Cleared{""}, Done{"", "Done"};
inline const Bytes EarlierDump = imageBytes(3000, 77);
inline Bytes flashPrefix(const OperationRig& rig, std::size_t bytes) {
    const Bytes flash = rig.bus.state(rig.devicePath).flash;
    return Bytes(flash.begin(), flash.begin() + static_cast<std::ptrdiff_t>(bytes));
}

inline void prepare(OperationRig& rig, const Operation& operation,
                    const std::function<void(DeviceConfig&)>& adjust = {}) {
    DeviceConfig device;
    device.mode = operation.mode;
    if (adjust)
        adjust(device);
    rig.settings.dumpBlockCount = DumpBlocks;
    rig.plugIn(device);
    if (operation.image)
        writeFile(rig.file(operation.image), imageBytes(5 * 40 + 13, 11));
    writeFile(dumpFile(rig), EarlierDump);
}

inline OperationResult run(OperationRig& rig, const Operation& operation) {
    return rig.operations().run(operation.run);
}

inline std::size_t openFileDescriptorCount() {
    const fs::directory_iterator entries("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

}  // namespace fwu::reliability
