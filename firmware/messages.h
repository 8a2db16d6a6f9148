#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "device/reports.h"
#include "firmware/image_file.h"
#include "firmware/operations.h"
#include "firmware/program_files.h"
#include "platform/file_system.h"
#include "platform/hid_platform.h"

// Every text the operations show the user: what happened and what to do. The window and the
// command line show the same texts.
namespace fwu::firmware::messages {

// A path as UTF-8 text, whatever the system's own encoding.
std::string displayPath(const std::filesystem::path& path);
// "0.5 seconds", "1 second", "30 seconds".
std::string secondsText(std::chrono::milliseconds duration);

// A link on the way to a file the program writes that it does not follow (see
// platform::FilePlace): what it is and what to do.
std::string linkNotFollowed(const std::filesystem::path& link);
// Why a file the program writes cannot be used: "Cannot `what` `path`: ..." and what to do.
std::string notWritable(const std::string& what, const std::filesystem::path& path,
                        const platform::PlaceProblem& problem);
// Two roles of one run given the same file: `what` names each role ("the trace file").
std::string fileInTwoRoles(const std::string& firstWhat, const std::filesystem::path& first,
                           const std::string& secondWhat, const std::filesystem::path& second);

std::string busy();
// The search passed over a supported device that this user may not open.
std::string permissionDenied();
// A program that holds a device, as the texts name it: "firmware-update-cli (process 4242)",
// its name or process alone, or "another program" when the system cannot tell.
std::string holderText(const platform::DeviceHolder& holder);
// Another program holds the device the operation was meant for: nothing was sent to it.
std::string deviceInUse(const std::string& devicePath, const platform::DeviceHolder& holder);
std::string reportTooShort(device::ReportUse use, std::uint16_t reportLength);
// An image the program looked for in its own folder, or one whose path was given, named as given.
std::string imageProblem(const std::filesystem::path& image, FileOrigin origin, ImageError error,
                         std::uintmax_t largestSize);
std::string imageTooLargeToRead(const std::filesystem::path& image);
// The device is in the mode `operation` does not write (see RequiredMode).
std::string wrongMode(Operation operation, bool inBootloaderMode);

// The image against its SHA-256: `source` names where the expected digest came from (--sha256 or
// the checksum file), the digests are in hexadecimal.
std::string imageDigestDiffers(const std::filesystem::path& image, const std::string& actual,
                               const std::string& expected, const std::string& source);
std::string imageDigestNotComputed(const std::filesystem::path& image);
std::string checksumFileUnreadable(const std::filesystem::path& image,
                                   const std::filesystem::path& checksumFile);
std::string checksumFileMalformed(const std::filesystem::path& image,
                                  const std::filesystem::path& checksumFile);
std::string checksumFileForAnotherFile(const std::filesystem::path& image,
                                       const std::filesystem::path& checksumFile,
                                       const std::string& named);

// The program's request that the system stay awake while it writes firmware: who asks, as the
// system lists it, and why; and what the person is told when the system refuses (`reason`, in
// the system's words).
inline constexpr const char* SleepInhibitorOwner = "Firmware Update";
std::string writingFirmwareTo(const std::string& device);
std::string sleepNotPrevented(const std::string& reason);

// The firmware update. Records are numbered from 1.
std::string updateStartRejected();
std::string updateEraseRejected();
std::string updateRecordRejected(std::int64_t record, std::int64_t records);
std::string updateFinishRejected();
std::string updateCancelled(std::int64_t recordsSent, std::int64_t records, bool deviceErased);

// The bootloader-mode download and the upgrade.
std::string downloadRecordRejected(std::int64_t record, std::int64_t records);
std::string downloadCancelled(std::int64_t recordsSent, std::int64_t records);
std::string upgradeNoBootloader(std::chrono::milliseconds waited);
// The device came back in bootloader mode, but another program took it before the download.
std::string upgradeBootloaderInUse(const std::string& devicePath,
                                   const platform::DeviceHolder& holder);
std::string upgradeCancelled();

// The flash dump. Blocks are numbered from 1 in the texts; the blocks read before a failure
// stay in the partial file.
std::string dumpTargetNotAFile(const std::filesystem::path& dumpFile);
std::string dumpLinkNotFollowed(const std::filesystem::path& dumpFile,
                                const std::filesystem::path& link);
std::string dumpFileNotCreated(const std::filesystem::path& partialFile, FileOrigin origin,
                               bool folderExists, const std::error_code& error);
std::string dumpStartRejected(const std::filesystem::path& dumpFile);
std::string dumpBlockNotRead(std::uint64_t blockIndex, std::uint64_t blocks,
                             const std::filesystem::path& dumpFile,
                             const std::filesystem::path& partialFile);
std::string dumpBlockTooShort(std::uint64_t blockIndex, std::uint64_t blocks, std::size_t received,
                              const std::filesystem::path& dumpFile,
                              const std::filesystem::path& partialFile);
std::string dumpWriteFailed(const std::filesystem::path& dumpFile,
                            const std::filesystem::path& partialFile, const std::error_code& error);
std::string dumpNotReplaced(const std::filesystem::path& dumpFile,
                            const std::filesystem::path& partialFile, const std::error_code& error);
std::string dumpCancelled(std::uint64_t blocksRead, std::uint64_t blocks,
                          const std::filesystem::path& dumpFile,
                          const std::filesystem::path& partialFile);

// The verification by read-back. Offsets count from the first byte of the flash.
std::string verifyReportTooShort(std::uint16_t reportLength);
std::string verifyImageLargerThanFlash(const std::filesystem::path& image);
std::string verifyStartRejected();
std::string verifyBlockNotRead(std::uint64_t blockIndex, std::uint64_t blocks);
std::string verifyBlockTooShort(std::uint64_t blockIndex, std::uint64_t blocks,
                                std::size_t received);
std::string verifyCancelled(std::uint64_t blocksRead, std::uint64_t blocks);
std::string verifyMismatch(const std::filesystem::path& image, std::uint64_t offset,
                           std::uint8_t expected, std::uint8_t read);

// The service commands.
std::string eraseRejected();
std::string enterBootloaderRejected();

}  // namespace fwu::firmware::messages
