#pragma once

#include <cstddef>
#include <optional>

// What the test process holds of the system's resources, to show that nothing leaks.
namespace fwu::reliability {

// Open file descriptors of this process.
std::size_t openFileDescriptorCount();

// Bytes the allocator has handed out and not taken back; nothing where the allocator cannot
// tell (AddressSanitizer replaces it and keeps freed blocks in quarantine).
std::optional<std::size_t> heapBytesInUse();

bool builtWithAddressSanitizer();

}  // namespace fwu::reliability
