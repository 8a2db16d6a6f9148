#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/firmware/operations_fixture.h"

// The operations as the reliability tests run them: each with small files of its own, on a
// device in the mode it needs, and with what a run that fails at a given request must say.
namespace fwu::reliability {

using firmware::OperationResult;
using firmware::Outcome;
using firmware::testing::Bytes;
using firmware::testing::OperationRig;
namespace fs = std::filesystem;

enum class Operation { Update, Download, Upgrade, Dump, EraseChip, EnterBootloader };

inline constexpr Operation AllOperations[] = {
    Operation::Update, Operation::Download,  Operation::Upgrade,
    Operation::Dump,   Operation::EraseChip, Operation::EnterBootloader,
};
// The operations that move an image or the flash: one request per record or block.
inline constexpr Operation StreamingOperations[] = {
    Operation::Update,
    Operation::Download,
    Operation::Upgrade,
    Operation::Dump,
};

// Small enough to sweep every request, large enough for a partial last record.
inline constexpr std::size_t ImageSize = 5 * 40 + 13;
inline constexpr std::size_t DumpBlocks = 8;
inline constexpr std::size_t EarlierDumpSize = 3000;

std::string nameOf(Operation operation);

// What an operation needs on the bus and in the program's folder.
struct Preparation {
    platform::simulated::DeviceConfig device;
    bool updateImage = false;
    bool downloadImage = false;
    bool earlierDump = false;
};
Preparation preparationFor(Operation operation);

// Plugs the device in and writes the files; a config tweak applies before the device is added.
void prepare(OperationRig& rig, Operation operation,
             const std::function<void(platform::simulated::DeviceConfig&)>& adjust = {});

OperationResult run(OperationRig& rig, Operation operation);

// The feature transfers of a run that succeeds.
std::uint64_t requestsOfSuccessfulRun(Operation operation);

// Words the message of a run that fails at `request` must contain: the step that failed.
std::string failedStepText(Operation operation, std::uint64_t request);

bool endsProgram(Operation operation);
bool leavesConnectionOpen(Operation operation);

// The files of a dump run.
fs::path dumpFile(const OperationRig& rig);
fs::path partialDumpFile(const OperationRig& rig);
Bytes earlierDump();
// The first `bytes` bytes of the device's flash as it is now.
Bytes flashPrefix(const OperationRig& rig, std::size_t bytes);

}  // namespace fwu::reliability
