#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/file_system.h"
#include "platform/line_log.h"

namespace fwu::platform {

namespace {

// Windows locks are mandatory: a locked range cannot be read or written through other handles.
// The lock is therefore taken on one byte far past any line, as a token that every appending
// program waits for, and the lines themselves stay readable meanwhile.
constexpr DWORDLONG LockTokenOffset = DWORDLONG{1} << 62;

std::error_code lastError() {
    return {static_cast<int>(GetLastError()), std::system_category()};
}

HANDLE handleOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

OVERLAPPED lockTokenPosition() {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(LockTokenOffset & 0xFFFFFFFF);
    position.OffsetHigh = static_cast<DWORD>(LockTokenOffset >> 32);
    return position;
}

class LockScope {
  public:
    explicit LockScope(HANDLE file) : file_(file) {
        OVERLAPPED position = lockTokenPosition();
        locked_ = LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &position) != 0;
    }
    ~LockScope() {
        if (locked_) {
            OVERLAPPED position = lockTokenPosition();
            UnlockFileEx(file_, 0, 1, 0, &position);
        }
    }
    LockScope(const LockScope&) = delete;
    LockScope& operator=(const LockScope&) = delete;

  private:
    HANDLE file_;
    bool locked_ = false;
};

}  // namespace

std::optional<std::intptr_t> LineLog::openForAppending(const std::filesystem::path& file,
                                                       std::error_code& error) {
    // Appending only: every write lands at the end of the file as it is then, whoever else
    // appends. Reading access is what LockFileEx asks of the handle.
    const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = lastError();
        return std::nullopt;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        error = std::make_error_code(std::errc::not_supported);
        return std::nullopt;
    }
    return reinterpret_cast<std::intptr_t>(handle);
}

bool LineLog::appendWhole(std::span<const std::uint8_t> bytes, std::error_code& error) {
    const HANDLE file = handleOf(handle_);
    const LockScope lock(file);
    return writeInParts(
        bytes,
        [file](std::span<const std::uint8_t> part,
               std::error_code& partError) -> std::optional<std::size_t> {
            DWORD written = 0;
            const auto length = static_cast<DWORD>(std::min<std::size_t>(part.size(), MAXDWORD));
            if (!WriteFile(file, part.data(), length, &written, nullptr)) {
                partError = lastError();
                return std::nullopt;
            }
            return static_cast<std::size_t>(written);
        },
        error);
}

void LineLog::close() {
    if (handle_ != ClosedHandle)
        CloseHandle(handleOf(handle_));
    handle_ = ClosedHandle;
}

}  // namespace fwu::platform
