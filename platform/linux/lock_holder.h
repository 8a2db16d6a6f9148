#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/hid_platform.h"

namespace fwu::platform::linux_hid {

// A file as the kernel's lock table names it: the device number of its file system and its
// inode number.
struct LockedFile {
    unsigned major = 0;
    unsigned minor = 0;
    std::uint64_t inode = 0;

    friend bool operator==(const LockedFile&, const LockedFile&) = default;
};

// The process that holds a flock(2) lock on `file`, from the text of /proc/locks (lines such as
// "1: FLOCK  ADVISORY  WRITE 1234 00:05:321 0 EOF"); processes waiting for a lock ("->") do
// not hold it.
std::optional<std::uint32_t> flockHolderPid(std::string_view lockTable, const LockedFile& file);

// The name of a running process: its comm, which the kernel cuts to 15 characters, or, where it
// may have been cut, the name its command line started it under when that begins with it.
// Empty when neither can be read.
std::string processName(const std::filesystem::path& proc, std::uint32_t pid);

// Who holds a flock(2) lock on the device node at `path`, from the process file system mounted
// at `proc`; nothing when no one does, or the system cannot tell.
std::optional<DeviceHolder> flockHolder(const std::filesystem::path& proc, const std::string& path);

}  // namespace fwu::platform::linux_hid
