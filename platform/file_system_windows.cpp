#include "platform/file_system.h"

#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace fwu::platform {

namespace {

constexpr DWORD FirstModulePathLength = MAX_PATH;
constexpr DWORD LongestModulePathLength = 32768;  // the longest path Windows can hand out
constexpr DWORD LargestWriteChunk = 1u << 30;

std::error_code lastError() {
    return {static_cast<int>(GetLastError()), std::system_category()};
}

HANDLE handleOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

std::optional<std::filesystem::path> programFolder() {
    for (DWORD length = FirstModulePathLength; length <= LongestModulePathLength; length *= 2) {
        std::wstring buffer(length, L'\0');
        const DWORD copied = GetModuleFileNameW(nullptr, buffer.data(), length);
        if (copied == 0)
            return std::nullopt;
        if (copied < length) {
            buffer.resize(copied);
            return std::filesystem::path(buffer).parent_path();
        }
        // The path was cut short: try again with a larger buffer.
    }
    return std::nullopt;
}

std::optional<NewFile> NewFile::create(const std::filesystem::path& path, std::error_code& error) {
    // CREATE_NEW fails when the name exists, whatever it is; FILE_FLAG_OPEN_REPARSE_POINT makes
    // sure a link there is never resolved to its target.
    const HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = lastError();
        return std::nullopt;
    }
    error.clear();
    return NewFile(reinterpret_cast<std::intptr_t>(handle));
}

bool NewFile::write(std::span<const std::uint8_t> bytes, std::error_code& error) {
    if (!isOpen()) {
        error = std::make_error_code(std::errc::bad_file_descriptor);
        return false;
    }
    while (!bytes.empty()) {
        const DWORD chunk =
            bytes.size() < LargestWriteChunk ? static_cast<DWORD>(bytes.size()) : LargestWriteChunk;
        DWORD written = 0;
        if (!WriteFile(handleOf(handle_), bytes.data(), chunk, &written, nullptr)) {
            error = lastError();
            return false;
        }
        bytes = bytes.subspan(written);
    }
    error.clear();
    return true;
}

bool NewFile::flushToDisk(std::error_code& error) {
    if (!isOpen()) {
        error = std::make_error_code(std::errc::bad_file_descriptor);
        return false;
    }
    if (!FlushFileBuffers(handleOf(handle_))) {
        error = lastError();
        return false;
    }
    error.clear();
    return true;
}

bool NewFile::close(std::error_code& error) {
    error.clear();
    if (!isOpen())
        return true;
    const HANDLE handle = handleOf(handle_);
    handle_ = ClosedHandle;
    if (!CloseHandle(handle)) {
        error = lastError();
        return false;
    }
    return true;
}

bool removeFileEntry(const std::filesystem::path& path, std::error_code& error) {
    // DeleteFileW removes a symbolic link itself, not its target.
    if (!DeleteFileW(path.c_str())) {
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) {
            error = {static_cast<int>(code), std::system_category()};
            return false;
        }
    }
    error.clear();
    return true;
}

bool replaceFile(const std::filesystem::path& source, const std::filesystem::path& target,
                 std::error_code& error) {
    if (!MoveFileExW(source.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = lastError();
        return false;
    }
    error.clear();
    return true;
}

}  // namespace fwu::platform
