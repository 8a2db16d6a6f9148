#include "tests/reliability/process_resources.h"

#include <malloc.h>

#include <filesystem>
#include <iterator>

namespace fwu::reliability {

std::size_t openFileDescriptorCount() {
    // The directory listing opens a descriptor of its own; it is counted alike every time.
    const std::filesystem::directory_iterator entries("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

bool builtWithAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

std::optional<std::size_t> heapBytesInUse() {
    if (builtWithAddressSanitizer())
        return std::nullopt;
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

}  // namespace fwu::reliability
