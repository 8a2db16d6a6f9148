#include "firmware/messages.h"

#include <iomanip>
#include <sstream>

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

std::string tooShortFor(const std::string& operation, std::uint16_t needed,
                        std::uint16_t reportLength) {
    return operation + " needs a device whose feature report is at least " + to_string(needed) +
           " bytes long; this device's is " + to_string(reportLength) +
           ". Nothing was sent to it. Check that it is a device this program supports.";
}

// "0x4D2", or with `digits` "0x0F" and the like.
std::string hex(std::uint64_t value, int digits = 1) {
    std::ostringstream text;
    text << "0x" << std::uppercase << std::hex << std::setfill('0') << std::setw(digits) << value;
    return text.str();
}

// The folder a file goes in, as the texts name it.
std::string folderOf(const std::filesystem::path& file) {
    const auto folder = file.parent_path();
    return folder.empty() ? "the current folder" : "the folder " + displayPath(folder);
}

// The end of every text about a verification that stopped before its last block.
std::string verifyStoppedAfter(std::uint64_t blocksRead) {
    std::string text = " Nothing was compared.";
    if (blocksRead > 0)
        text = " The first " + to_string(blocksRead) + " blocks matched the image.";
    return text + " Check the device's connection and run the verification again.";
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

std::string secondsText(std::chrono::milliseconds duration) {
    std::ostringstream text;
    text << static_cast<double>(duration.count()) / 1000;
    return text.str() + (duration == std::chrono::seconds(1) ? " second" : " seconds");
}

std::string linkNotFollowed(const std::filesystem::path& link) {
    return "The link " + displayPath(link) +
           " was not followed: it lies in a folder where every user may put files, and it "
           "belongs to another user, so anyone may have left it there to point anywhere. Remove "
           "the link, or give the path of the file itself or of a file in a folder of your own.";
}

std::string notWritable(const std::string& what, const std::filesystem::path& path,
                        const platform::PlaceProblem& problem) {
    const std::string text = "Cannot " + what + " " + displayPath(path);
    if (!problem.refusedLink.empty())
        return text + ". " + linkNotFollowed(problem.refusedLink);
    if (problem.error == std::errc::no_such_device_or_address) {
        return text +
               ": it is a named pipe that no program reads. Start the program that reads it "
               "first, or choose a file.";
    }
    const std::string reason =
        problem.error == std::errc::not_supported ? "it is not a file" : problem.error.message();
    return text + ": " + reason + ". Choose a file in a folder you can write to.";
}

std::string fileInTwoRoles(const std::string& firstWhat, const std::filesystem::path& first,
                           const std::string& secondWhat, const std::filesystem::path& second) {
    return firstWhat + " " + displayPath(first) + " and " + secondWhat + " " + displayPath(second) +
           " are the same file: one would overwrite the other. Nothing was written and nothing "
           "was sent to the device. Give each a file of its own.";
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

std::string holderText(const platform::DeviceHolder& holder) {
    const std::string process =
        holder.processId ? "process " + to_string(*holder.processId) : std::string();
    if (holder.programName.empty())
        return process.empty() ? "another program" : process;
    return process.empty() ? holder.programName : holder.programName + " (" + process + ")";
}

std::string deviceInUse(const std::string& devicePath, const platform::DeviceHolder& holder) {
    return "The device " + devicePath + " is in use by " + holderText(holder) +
           ", which may be writing to it. Nothing was sent to it. Wait until that program has "
           "finished, or close it, then try again.";
}

std::string reportTooShort(device::ReportUse use, std::uint16_t reportLength) {
    return tooShortFor(operationName(use), device::minimumReportLength(use), reportLength);
}

std::string imageProblem(const std::filesystem::path& image, FileOrigin origin, ImageError error,
                         std::uintmax_t largestSize) {
    const std::string name = displayPath(image);
    const std::string nothingSent = " Nothing was sent to the device.";
    const bool given = origin == FileOrigin::Given;
    switch (error) {
        case ImageError::None:
            break;
        case ImageError::Missing:
            return "Cannot find " + name + "." + nothingSent +
                   (given ? " Check the path of the image file and try again."
                          : " Put the image file next to the program and try again.");
        case ImageError::NotRegularFile:
            return name + " is not a file." + nothingSent +
                   (given ? " Give the path of the image file itself and try again."
                          : " Replace it with the image file and try again.");
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

std::string wrongMode(Operation operation, bool inBootloaderMode) {
    const std::string nothingSent = " Nothing was sent to it.";
    switch (operation) {
        case Operation::Update:
            return "The device is in bootloader mode, so the firmware update cannot write it: "
                   "its bootloader would take the update's reports as part of an image." +
                   nothingSent +
                   " Load a bootloader-mode image into it instead (`load` on the command line).";
        case Operation::Download:
            return "The device is in application mode, so the bootloader-mode download cannot "
                   "write it: its firmware would take the image's bytes as commands (a record "
                   "that begins with 04 would erase the flash)." +
                   nothingSent +
                   " Run the upgrade instead (`upgrade` on the command line), which restarts the "
                   "device in its bootloader first and then loads the image.";
        case Operation::Dump:
        case Operation::Verify:
            return "The device is in bootloader mode, where it does not answer flash reads and "
                   "would take the read's start command as part of an image." +
                   nothingSent + " Its flash can be read once it runs its application firmware.";
        case Operation::EraseChip:
            return "The device is in bootloader mode, where it would take the erase command as "
                   "part of an image." +
                   nothingSent + " The erase command is for a device in application mode.";
        case Operation::EnterBootloader:
            return "The device is in its bootloader already, where it would take the "
                   "bootloader-entry command as part of an image." +
                   nothingSent;
        case Operation::Upgrade:
            break;
    }
    return std::string("The device is in ") + (inBootloaderMode ? "bootloader" : "application") +
           " mode, which this operation does not write." + nothingSent;
}

std::string imageDigestDiffers(const std::filesystem::path& image, const std::string& actual,
                               const std::string& expected, const std::string& source) {
    return displayPath(image) + " is not the image that was meant: its SHA-256 is " + actual +
           ", but " + source + " gives " + expected +
           ". Nothing was sent to the device. Check that the image is the right file and "
           "complete (fetch it again if it was downloaded), and that the checksum is the one "
           "published for it.";
}

std::string imageDigestNotComputed(const std::filesystem::path& image) {
    return "The SHA-256 of " + displayPath(image) +
           " could not be computed, so it cannot be checked. Nothing was sent to the device. "
           "Repair the system's cryptographic library, then try again.";
}

std::string checksumFileUnreadable(const std::filesystem::path& image,
                                   const std::filesystem::path& checksumFile) {
    return "The checksum file " + displayPath(checksumFile) + " beside " + fileName(image) +
           " cannot be read, so the image cannot be checked. Nothing was sent to the device. "
           "Make it a readable file holding the image's checksum, or remove it.";
}

std::string checksumFileMalformed(const std::filesystem::path& image,
                                  const std::filesystem::path& checksumFile) {
    return "The checksum file " + displayPath(checksumFile) +
           " is not in the form sha256sum writes: one line of 64 hexadecimal digits, two spaces "
           "(or a space and '*') and the image's name, " +
           fileName(image) +
           ". Nothing was sent to the device. Put the checksum published for the image there in "
           "that form, or remove the file.";
}

std::string checksumFileForAnotherFile(const std::filesystem::path& image,
                                       const std::filesystem::path& checksumFile,
                                       const std::string& named) {
    return "The checksum file " + displayPath(checksumFile) + " is for " + named + ", not for " +
           fileName(image) +
           ". Nothing was sent to the device. Put the image's own checksum there, or remove it.";
}

std::string writingFirmwareTo(const std::string& device) {
    return "Writing firmware to " + device;
}

std::string sleepNotPrevented(const std::string& reason) {
    return "The system did not promise to stay awake while the firmware is written (" + reason +
           "). The write goes on: keep the computer from sleeping until it has ended (do not "
           "close the lid or press the sleep key).";
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
    return "The device did not come back in bootloader mode within " + secondsText(waited) +
           ", so no firmware was loaded. Check its connection, then start the program "
           "again and run the upgrade again.";
}

std::string upgradeBootloaderInUse(const std::string& devicePath,
                                   const platform::DeviceHolder& holder) {
    return "The device came back in bootloader mode as " + devicePath + ", but " +
           holderText(holder) +
           " took it first, so no firmware was loaded by this program. Wait until that program "
           "has finished, or close it, then run the upgrade again.";
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

std::string dumpLinkNotFollowed(const std::filesystem::path& dumpFile,
                                const std::filesystem::path& link) {
    return "Cannot write the dump to " + displayPath(dumpFile) + ". " + linkNotFollowed(link) +
           " Nothing was read from the device.";
}

std::string dumpFileNotCreated(const std::filesystem::path& partialFile, FileOrigin origin,
                               bool folderExists, const std::error_code& error) {
    std::string text = "Cannot create " + displayPath(partialFile) + ": " + error.message() +
                       ". Nothing was read from the device. ";
    if (origin == FileOrigin::ProgramFolder)
        return text + "Make sure the program's folder can be written, then run the dump again.";
    if (!folderExists) {
        return text + "The dump cannot be written in " + folderOf(partialFile) +
               ", which does not exist: choose a folder that exists and can be written, then run "
               "the dump again.";
    }
    return text + "Make sure a new file can be written in " + folderOf(partialFile) +
           ", or choose a folder that can be written, then run the dump again.";
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

std::string verifyReportTooShort(std::uint16_t reportLength) {
    return tooShortFor("The verification", device::minimumReportLength(device::ReportUse::Dump),
                       reportLength);
}

std::string verifyImageLargerThanFlash(const std::filesystem::path& image) {
    return displayPath(image) + " is larger than the device's flash (" +
           to_string(protocol::FlashSize) +
           " bytes), so it cannot be there whole. Nothing was sent to the device. Check that it "
           "is the right image file.";
}

std::string verifyStartRejected() {
    return "The device did not accept the start of the flash read." + verifyStoppedAfter(0);
}

std::string verifyBlockNotRead(std::uint64_t blockIndex, std::uint64_t blocks) {
    return "The device did not answer the read of block " + to_string(blockIndex + 1) + " of " +
           to_string(blocks) + "." + verifyStoppedAfter(blockIndex);
}

std::string verifyBlockTooShort(std::uint64_t blockIndex, std::uint64_t blocks,
                                std::size_t received) {
    return "The device answered the read of block " + to_string(blockIndex + 1) + " of " +
           to_string(blocks) + " with " + to_string(received) + " bytes, too few for a block." +
           verifyStoppedAfter(blockIndex);
}

std::string verifyCancelled(std::uint64_t blocksRead, std::uint64_t blocks) {
    std::string text = "The verification was cancelled after " + to_string(blocksRead) + " of " +
                       to_string(blocks) + " blocks";
    return text + (blocksRead > 0 ? "; those matched the image." : ".");
}

std::string verifyMismatch(const std::filesystem::path& image, std::uint64_t offset,
                           std::uint8_t expected, std::uint8_t read) {
    return "The device's flash differs from " + displayPath(image) + " at offset " +
           to_string(offset) + " (" + hex(offset) + "): the update writes " + hex(expected, 2) +
           " there, the device holds " + hex(read, 2) +
           ". Its firmware is not this image: run the update again, then verify again.";
}

std::string eraseRejected() {
    return "The device did not accept the erase command. Check its connection and try again.";
}

std::string enterBootloaderRejected() {
    return "The device did not accept the command to enter its bootloader. Check its connection "
           "and try again.";
}

}  // namespace fwu::firmware::messages
