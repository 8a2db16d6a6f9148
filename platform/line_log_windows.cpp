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

std::optional<std::intptr_t> LineLog::openForAppending(const FilePlace& place,
                                                       std::error_code& error) {
    // Reading access is what LockFileEx asks of the handle, writing access what cutting a line
    // back asks.
    const HANDLE handle = CreateFileW(place.path().c_str(), GENERIC_READ | GENERIC_WRITE,
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
    // The lock keeps every other appender of ours away until the line is whole or cut off.
    LARGE_INTEGER end{};
    if (!GetFileSizeEx(file, &end)) {
        error = lastError();
        return false;
    }
    auto position = static_cast<std::uint64_t>(end.QuadPart);
    const bool whole = writeInParts(
        bytes,
        [file, &position](std::span<const std::uint8_t> part,
                          std::error_code& partError) -> std::optional<std::size_t> {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(position & 0xFFFFFFFF);
            at.OffsetHigh = static_cast<DWORD>(position >> 32);
            DWORD written = 0;
            const auto length = static_cast<DWORD>(std::min<std::size_t>(part.size(), MAXDWORD));
            if (!WriteFile(file, part.data(), length, &written, &at)) {
                partError = lastError();
                return std::nullopt;
            }
            position += written;
            return static_cast<std::size_t>(written);
        },
        error);
    if (!whole) {
        FILE_END_OF_FILE_INFO cut{};
        cut.EndOfFile = end;
        SetFileInformationByHandle(file, FileEndOfFileInfo, &cut, sizeof cut);
    }
    return whole;
}

void LineLog::close() {
    if (handle_ != ClosedHandle)
        CloseHandle(handleOf(handle_));
    handle_ = ClosedHandle;
}

}  // namespace fwu::platform
