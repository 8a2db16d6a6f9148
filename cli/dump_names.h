#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "device/device_directory.h"

namespace fwu::cli {

// With --all or --repeat each device's dump goes to a file of its own.
bool dumpsToFilesOfTheirOwn(const Options& options);

// The file of `device`'s own dump: its serial number joins the file's name, "Ombrel.bin" becoming
// "Ombrel-SN1234.bin", or for a device without one its path after '+' ("Ombrel-+sim_3Ahid0.bin").
// Letters, digits, '.' and '-' stay as they are; every other byte becomes '_' and its two hex
// digits. So two serial numbers, or two paths, never give one name, and a path never gives the
// name of a serial number.
std::filesystem::path perDeviceDumpFile(const std::filesystem::path& dumpFile,
                                        const device::FoundDevice& device);

// Why `device` must not be dumped to a file of its own while the devices `present` are
// connected: another of them has a serial number that names the same file, being the same or
// differing only in upper and lower case, which some file systems do not tell apart. Nothing
// when it may.
std::optional<std::string> sharedDumpFileRefusal(const device::FoundDevice& device,
                                                 const std::vector<device::FoundDevice>& present);

}  // namespace fwu::cli
