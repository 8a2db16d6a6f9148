#include "tests/reliability/scenarios.h"

#include <stdexcept>

namespace fwu::reliability {

using firmware::DownloadImageName;
using firmware::DumpFileName;
using firmware::UpdateImageName;
using firmware::testing::imageBytes;
using firmware::testing::writeFile;
using platform::simulated::DeviceMode;

namespace {

constexpr std::uint64_t RecordReads = ImageSize / protocol::ImageRecordSize + 1;
constexpr std::uint64_t RecordsLoaded =
    (ImageSize + protocol::ImageRecordSize - 1) / protocol::ImageRecordSize;

std::string updateStep(std::uint64_t request) {
    if (request == 0)
        return "did not accept the start of the update";
    if (request == 1)
        return "did not accept the erase command of the update";
    if (request <= RecordReads + 1) {
        return "did not accept record " + std::to_string(request - 1) + " of " +
               std::to_string(RecordReads) + ".";
    }
    return "did not accept the end of the update";
}

std::string recordOfBootloaderImage(std::uint64_t record) {
    return "did not accept record " + std::to_string(record) + " of " +
           std::to_string(RecordsLoaded) + " of the bootloader-mode image";
}

std::string dumpStep(std::uint64_t request) {
    if (request == 0)
        return "did not accept the start of the flash read";
    return "did not answer the read of block " + std::to_string(request) + " of " +
           std::to_string(DumpBlocks) + ".";
}

}  // namespace

std::string nameOf(Operation operation) {
    switch (operation) {
        case Operation::Update:
            return "update";
        case Operation::Download:
            return "download";
        case Operation::Upgrade:
            return "upgrade";
        case Operation::Dump:
            return "dump";
        case Operation::EraseChip:
            return "erase chip";
        case Operation::EnterBootloader:
            return "enter bootloader";
    }
    return "?";
}

Preparation preparationFor(Operation operation) {
    Preparation preparation;
    switch (operation) {
        case Operation::Update:
            preparation.updateImage = true;
            break;
        case Operation::Download:
            preparation.device.mode = DeviceMode::Bootloader;
            preparation.downloadImage = true;
            break;
        case Operation::Upgrade:
            preparation.downloadImage = true;
            break;
        case Operation::Dump:
            preparation.earlierDump = true;
            break;
        case Operation::EraseChip:
        case Operation::EnterBootloader:
            break;
    }
    return preparation;
}

void prepare(OperationRig& rig, Operation operation,
             const std::function<void(platform::simulated::DeviceConfig&)>& adjust) {
    Preparation preparation = preparationFor(operation);
    if (adjust)
        adjust(preparation.device);
    rig.settings.dumpBlockCount = DumpBlocks;
    rig.plugIn(preparation.device);
    if (preparation.updateImage)
        writeFile(rig.file(UpdateImageName), imageBytes(ImageSize, 11));
    if (preparation.downloadImage)
        writeFile(rig.file(DownloadImageName), imageBytes(ImageSize, 23));
    if (preparation.earlierDump)
        writeFile(dumpFile(rig), earlierDump());
}

OperationResult run(OperationRig& rig, Operation operation) {
    auto& operations = rig.operations();
    switch (operation) {
        case Operation::Update:
            return operations.update();
        case Operation::Download:
            return operations.download();
        case Operation::Upgrade:
            return operations.upgrade();
        case Operation::Dump:
            return operations.dump();
        case Operation::EraseChip:
            return operations.eraseChip();
        case Operation::EnterBootloader:
            return operations.enterBootloader();
    }
    throw std::logic_error("unknown operation");
}

std::uint64_t requestsOfSuccessfulRun(Operation operation) {
    switch (operation) {
        case Operation::Update:
            return 2 + RecordReads + 1;  // start, erase, the records, finish
        case Operation::Download:
            return RecordsLoaded;
        case Operation::Upgrade:
            return 1 + RecordsLoaded;  // enter-bootloader, then the download
        case Operation::Dump:
            return 1 + DumpBlocks;  // start, then the block reads
        case Operation::EraseChip:
        case Operation::EnterBootloader:
            return 1;
    }
    return 0;
}

std::string failedStepText(Operation operation, std::uint64_t request) {
    switch (operation) {
        case Operation::Update:
            return updateStep(request);
        case Operation::Download:
            return recordOfBootloaderImage(request + 1);
        case Operation::Upgrade:
            // A failed enter-bootloader transfer is left to the wait: the device did not obey.
            if (request == 0)
                return "did not come back in bootloader mode";
            return recordOfBootloaderImage(request);
        case Operation::Dump:
            return dumpStep(request);
        case Operation::EraseChip:
            return "did not accept the erase command.";
        case Operation::EnterBootloader:
            return "did not accept the command to enter its bootloader";
    }
    return {};
}

bool endsProgram(Operation operation) {
    return operation == Operation::Download || operation == Operation::Upgrade;
}

bool leavesConnectionOpen(Operation operation) {
    return operation == Operation::Dump || operation == Operation::EraseChip ||
           operation == Operation::EnterBootloader;
}

fs::path dumpFile(const OperationRig& rig) {
    return rig.file(DumpFileName);
}

fs::path partialDumpFile(const OperationRig& rig) {
    fs::path partial = dumpFile(rig);
    partial += ".part";
    return partial;
}

Bytes earlierDump() {
    return imageBytes(EarlierDumpSize, 77);
}

Bytes flashPrefix(const OperationRig& rig, std::size_t bytes) {
    const Bytes flash = rig.bus.state(rig.devicePath).flash;
    return Bytes(flash.begin(), flash.begin() + static_cast<std::ptrdiff_t>(bytes));
}

}  // namespace fwu::reliability
