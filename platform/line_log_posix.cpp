#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/file_system.h"
#include "platform/line_log.h"

namespace fwu::platform {

namespace {

constexpr mode_t LogFileMode = 0666;  // narrowed by the user's umask

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// Holds the file's advisory lock while it exists; other programs' appends wait for it.
class LockScope {
  public:
    explicit LockScope(int descriptor) : descriptor_(descriptor) {
        int result;
        while ((result = ::flock(descriptor_, LOCK_EX)) != 0 && errno == EINTR) {
        }
        locked_ = result == 0;
    }
    ~LockScope() {
        if (locked_)
            ::flock(descriptor_, LOCK_UN);
    }
    LockScope(const LockScope&) = delete;
    LockScope& operator=(const LockScope&) = delete;

  private:
    int descriptor_;
    bool locked_ = false;
};

}  // namespace

std::optional<std::intptr_t> LineLog::openForAppending(const FilePlace& place,
                                                       std::error_code& error) {
    const int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK |
                      (place.kernelLink_ ? 0 : O_NOFOLLOW);
    const int descriptor =
        ::openat(static_cast<int>(place.folder_), place.name_.c_str(), flags, LogFileMode);
    if (descriptor < 0) {
        error = lastError();
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        error = std::make_error_code(std::errc::not_supported);
        return std::nullopt;
    }
    return descriptor;
}

bool LineLog::appendWhole(std::span<const std::uint8_t> bytes, std::error_code& error) {
    const int descriptor = static_cast<int>(handle_);
    const LockScope lock(descriptor);
    // The lock keeps every other appender of ours away until the line is whole or cut off.
    const off_t end = ::lseek(descriptor, 0, SEEK_END);
    if (end < 0) {
        error = lastError();
        return false;
    }
    const bool whole = writeInParts(
        bytes,
        [descriptor](std::span<const std::uint8_t> part,
                     std::error_code& partError) -> std::optional<std::size_t> {
            ssize_t written;
            while ((written = ::write(descriptor, part.data(), part.size())) < 0 &&
                   errno == EINTR) {
            }
            if (written < 0) {
                partError = lastError();
                return std::nullopt;
            }
            return static_cast<std::size_t>(written);
        },
        error);
    if (!whole) {
        [[maybe_unused]] const int cut = ::ftruncate(descriptor, end);  // the write's error tells
    }
    return whole;
}

void LineLog::close() {
    if (handle_ != ClosedHandle)
        ::close(static_cast<int>(handle_));
    handle_ = ClosedHandle;
}

}  // namespace fwu::platform
