#include "firmware/messages.h"

namespace fwu::firmware::messages {

namespace {

using std::to_string;

std::string operationName(device::ReportUse use) {
    switch (use) {
        case device::ReportUse::Update:
            return "The firmware update";
        case device::ReportUse::Download:
            return "The bootloader-mode download";
        case device::ReportUse::Dump:
            return "The flash dump";
        case device::ReportUse::Upgrade:
            return "The upgrade";
        case device::ReportUse::ServiceCommand:
            return "This command";
    }
    return "This operation";
}

std::string fileName(const std::filesystem::path& path) {
    return displayPath(path.filename());
}

// The end of every text about a dump that stopped early.
std::string earlierDumpKept(const std::filesystem::path& dumpFile,
                            const std::filesystem::path& partialFile, std::uint64_t blocksKept) {
    std::string text = " " + fileName(dumpFile) + " was not changed";
    if (blocksKept > 0) {
        text += "; the " + to_string(blocksKept) + " blocks read before it are in " +
                fileName(partialFile);
    }
    return text + ". Check the device's connection and run the dump again.";
}

}  // namespace

std::string displayPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Only a backend that can tell a device it may not open from an absent one reports this; on
// Linux that is a hidraw node without access for the logged-in user.
std::string permissionDenied() {
    return "A device was found but cannot be opened: permission denied. "
#ifdef __linux__
           "Install the udev rule 70-firmware-update.rules that comes with the program (see the "
           "\"Linux\" section of the README), then unplug the device, plug it in again and start "
           "Firmware Update again.";
#else
           "Close any other program that uses the device, then unplug it, plug it in again and "
           "start Firmware Update again.";
#endif
}

std::string busy() {
    return "Another operation is running. Wait until it has ended, then try again.";
}

std::string reportTooShort(device::ReportUse use, std::uint16_t reportLength) {
    return operationName(use) + " needs a device whose feature report is at least " +
           to_string(device::minimumReportLength(use)) + " bytes long; this device's is " +
           to_string(reportLength) +
           ". Nothing was sent to it. Check that it is a device this program supports.";
}

std::string imageProblem(const std::filesystem::path& image, ImageError error,
                         std::uintmax_t largestSize) {
    const std::string name = displayPath(image);
    const std::string nothingSent = " Nothing was sent to the device.";
    switch (error) {
        case ImageError::None:
            break;
        case ImageError::Missing:
            return "Cannot find " + name + "." + nothingSent +
                   " Put the image file next to the program and try again.";
        case ImageError::NotRegularFile:
            return name + " is not a file." + nothingSent +
                   " Replace it with the image file and try again.";
        case ImageError::Unreadable:
            return name + " cannot be read." + nothingSent +
                   " Check that the file is readable and try again.";
        case ImageError::Empty:
            return name + " is empty." + nothingSent +
                   " Replace it with the complete image file and try again.";
        case ImageError::TooLarge:
            return name + " is larger than the largest image the device takes (" +
                   to_string(largestSize) + " bytes)." + nothingSent +
                   " Check that it is the right image file.";
    }
    return name + " cannot be used." + nothingSent;
}

std::string imageTooLargeToRead(const std::filesystem::path& image) {
    return displayPath(image) +
           " is too large to be read into memory. Nothing was sent to the device. Check that "
           "it is the right image file.";
}

std::string updateStartRejected() {
    return "The device did not accept the start of the update. Its firmware was not changed: "
           "run the update again.";
}

std::string updateEraseRejected() {
    return "The device did not accept the erase command of the update. Its firmware may be "
           "erased: run the update again.";
}

std::string updateRecordRejected(std::int64_t record, std::int64_t records) {
    return "The device did not accept record " + to_string(record) + " of " + to_string(records) +
           ". Its firmware is incomplete: run the update again.";
}

std::string updateFinishRejected() {
    return "The device did not accept the end of the update. Its firmware may be incomplete: "
           "run the update again.";
}

std::string updateCancelled(std::int64_t recordsSent, std::int64_t records, bool deviceErased) {
    if (!deviceErased) {
        return "The update was cancelled before the device was erased. Its firmware was not "
               "changed.";
    }
    return "The update was cancelled after " + to_string(recordsSent) + " of " +
           to_string(records) +
           " records. The device's firmware is incomplete: run the update "
           "again.";
}

std::string downloadRecordRejected(std::int64_t record, std::int64_t records) {
    return "The device did not accept record " + to_string(record) + " of " + to_string(records) +
           " of the bootloader-mode image. Its firmware is incomplete: start the program again "
           "and load the image again.";
}

std::string downloadCancelled(std::int64_t recordsSent, std::int64_t records) {
    return "The bootloader-mode download was cancelled after " + to_string(recordsSent) + " of " +
           to_string(records) +
           " records. The device's firmware is incomplete: start the program again and load the "
           "image again.";
}

std::string upgradeNoBootloader(std::chrono::milliseconds waited) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(waited).count();
    return "The device did not come back in bootloader mode within " + to_string(seconds) +
           " seconds, so no firmware was loaded. Check its connection, then start the program "
           "again and run the upgrade again.";
}

std::string upgradeCancelled() {
    return "The upgrade was cancelled before the firmware was loaded. The device may be waiting "
           "in its bootloader: start the program again and run the upgrade again.";
}

std::string dumpTargetNotAFile(const std::filesystem::path& dumpFile) {
    return displayPath(dumpFile) +
           " is not a file (it is a folder, a device or another special file), so the dump "
           "cannot be written there. Nothing was read from the device. Give the path of a file, "
           "or of a new file in a folder you can write to, and run the dump again.";
}

std::string dumpFileNotCreated(const std::filesystem::path& partialFile,
                               const std::error_code& error) {
    return "Cannot create " + displayPath(partialFile) + ": " + error.message() +
           ". Nothing was read from the device. Make sure the program's folder can be written, "
           "then run the dump again.";
}

std::string dumpStartRejected(const std::filesystem::path& dumpFile) {
    return "The device did not accept the start of the flash read." +
           earlierDumpKept(dumpFile, {}, 0);
}

std::string dumpBlockNotRead(std::uint64_t blockIndex, std::uint64_t blocks,
                             const std::filesystem::path& dumpFile,
                             const std::filesystem::path& partialFile) {
    return "The device did not answer the read of block " + to_string(blockIndex + 1) + " of " +
           to_string(blocks) + "." + earlierDumpKept(dumpFile, partialFile, blockIndex);
}

std::string dumpBlockTooShort(std::uint64_t blockIndex, std::uint64_t blocks, std::size_t received,
                              const std::filesystem::path& dumpFile,
                              const std::filesystem::path& partialFile) {
    return "The device answered the read of block " + to_string(blockIndex + 1) + " of " +
           to_string(blocks) + " with " + to_string(received) + " bytes, too few for a block." +
           earlierDumpKept(dumpFile, partialFile, blockIndex);
}

std::string dumpWriteFailed(const std::filesystem::path& dumpFile,
                            const std::filesystem::path& partialFile,
                            const std::error_code& error) {
    return "Cannot write " + displayPath(partialFile) + ": " + error.message() + ". " +
           fileName(dumpFile) + " was not changed; " + fileName(partialFile) +
           " holds what was written. Make room on the disk, then run the dump again.";
}

std::string dumpNotReplaced(const std::filesystem::path& dumpFile,
                            const std::filesystem::path& partialFile,
                            const std::error_code& error) {
    return "The whole flash was read, but " + displayPath(dumpFile) +
           " cannot be replaced: " + error.message() + ". The complete dump is in " +
           displayPath(partialFile) + ".";
}

std::string dumpCancelled(std::uint64_t blocksRead, std::uint64_t blocks,
                          const std::filesystem::path& dumpFile,
                          const std::filesystem::path& partialFile) {
    std::string text = "The dump was cancelled after " + to_string(blocksRead) + " of " +
                       to_string(blocks) + " blocks. " + fileName(dumpFile) + " was not changed";
    if (blocksRead > 0)
        text += "; the blocks read are in " + fileName(partialFile);
    return text + ".";
}

std::string eraseRejected() {
    return "The device did not accept the erase command. Check its connection and try again.";
}

std::string enterBootloaderRejected() {
    return "The device did not accept the command to enter its bootloader. Check its connection "
           "and try again.";
}

}  // namespace fwu::firmware::messages
