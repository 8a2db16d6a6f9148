#include "platform/file_system.h"

#include <algorithm>
#include <array>
#include <cwctype>
#include <string>
#include <string_view>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace fwu::platform {

namespace {

constexpr DWORD FirstModulePathLength = MAX_PATH;
constexpr DWORD LongestModulePathLength = 32768;  // the longest path Windows can hand out
constexpr DWORD LargestWriteChunk = 1u << 30;

// A virus scanner or an indexer holds a new file open for a moment: a delete or a rename that
// meets it is tried again, for this long in all.
constexpr DWORD HeldFileRetries = 20;
constexpr DWORD HeldFileRetryPause = 20;  // milliseconds

// Names that open a device in every folder, whatever extension follows them.
constexpr std::array<std::wstring_view, 32> ReservedDeviceNames = {
    L"CON",  L"PRN",       L"AUX",       L"NUL",       L"CONIN$",    L"CONOUT$", L"COM0",
    L"COM1", L"COM2",      L"COM3",      L"COM4",      L"COM5",      L"COM6",    L"COM7",
    L"COM8", L"COM9",      L"COM\u00B9", L"COM\u00B2", L"COM\u00B3", L"LPT0",    L"LPT1",
    L"LPT2", L"LPT3",      L"LPT4",      L"LPT5",      L"LPT6",      L"LPT7",    L"LPT8",
    L"LPT9", L"LPT\u00B9", L"LPT\u00B2", L"LPT\u00B3",
};

std::error_code lastError() {
    return {static_cast<int>(GetLastError()), std::system_category()};
}

std::error_code errorOf(DWORD code) {
    return {static_cast<int>(code), std::system_category()};
}

HANDLE handleOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

bool isHeldByAnotherProgram(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
           code == ERROR_ACCESS_DENIED;
}

// Runs `attempt` until it succeeds, fails for another reason than a file held open, or the
// retries are spent. Returns the error of the last attempt, ERROR_SUCCESS after a success.
template <typename Attempt>
DWORD retryWhileHeld(Attempt attempt) {
    for (DWORD retry = 0;; ++retry) {
        if (attempt())
            return ERROR_SUCCESS;
        const DWORD code = GetLastError();
        if (!isHeldByAnotherProgram(code) || retry == HeldFileRetries)
            return code;
        Sleep(HeldFileRetryPause);
    }
}

std::wstring upperCase(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    return text;
}

// The name up to its first dot, without the spaces before it, in capitals: "nul .txt" is "NUL".
bool isReservedDeviceName(const std::filesystem::path& path) {
    std::wstring stem = path.filename().native();
    stem = stem.substr(0, stem.find(L'.'));
    stem.erase(stem.find_last_not_of(L' ') + 1);
    stem = upperCase(stem);
    return std::find(ReservedDeviceNames.begin(), ReservedDeviceNames.end(), stem) !=
           ReservedDeviceNames.end();
}

// A handle closed when it goes.
class HandleScope {
  public:
    explicit HandleScope(HANDLE handle) : handle_(handle) {}
    ~HandleScope() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    HandleScope(const HandleScope&) = delete;
    HandleScope& operator=(const HandleScope&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

// No access rights asked for: enough for the type and the identity, even of a file that another
// program holds.
HANDLE openForQuery(const std::filesystem::path& path) {
    return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool isLink(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The path of the file an open handle stands for, links resolved, without the "\\?\" that
// Windows puts before a drive letter.
std::optional<std::filesystem::path> finalPathOf(HANDLE handle) {
    std::wstring buffer(LongestModulePathLength, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(handle, buffer.data(), LongestModulePathLength,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= LongestModulePathLength)
        return std::nullopt;
    buffer.resize(length);
    constexpr std::wstring_view LongPathPrefix = L"\\\\?\\";
    if (buffer.starts_with(LongPathPrefix) && buffer.size() > 6 && buffer[5] == L':')
        buffer.erase(0, LongPathPrefix.size());
    return std::filesystem::path(buffer);
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

bool NewFile::write(std::span<const std::uint8_t> bytes, std::error_code& error) {
    if (!isOpen()) {
        error = std::make_error_code(std::errc::bad_file_descriptor);
        return false;
    }
    const HANDLE handle = handleOf(handle_);
    return writeInParts(
        bytes,
        [handle](std::span<const std::uint8_t> part,
                 std::error_code& failure) -> std::optional<std::size_t> {
            const DWORD chunk =
                static_cast<DWORD>(std::min<std::size_t>(part.size(), LargestWriteChunk));
            DWORD written = 0;
            if (!WriteFile(handle, part.data(), chunk, &written, nullptr)) {
                failure = lastError();
                return std::nullopt;
            }
            return written;
        },
        error);
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

// The system follows the links of the path; a link at the name is resolved here, so that a new
// file replaces the file it names and the link stays.
std::optional<FilePlace> FilePlace::find(const std::filesystem::path& path, PlaceProblem& problem) {
    problem = {};
    std::filesystem::path file = path;
    if (!isReservedDeviceName(path) && isLink(path)) {
        const HandleScope handle(openForQuery(path));
        if (handle.get() != INVALID_HANDLE_VALUE)
            file = finalPathOf(handle.get()).value_or(path);
    }
    return FilePlace(NoFolder, file, file, false);
}

FilePlace::FilePlace(FilePlace&& other) noexcept
    : folder_(other.folder_),
      name_(std::move(other.name_)),
      path_(std::move(other.path_)),
      kernelLink_(other.kernelLink_) {}

FilePlace& FilePlace::operator=(FilePlace&& other) noexcept {
    folder_ = other.folder_;
    name_ = std::move(other.name_);
    path_ = std::move(other.path_);
    kernelLink_ = other.kernelLink_;
    return *this;
}

FilePlace::~FilePlace() = default;

std::optional<FilePlace> FilePlace::sibling(const std::filesystem::path& name,
                                            std::error_code& error) const {
    error.clear();
    const auto path = path_.parent_path() / name;
    return FilePlace(NoFolder, path, path, false);
}

FilePlace::Kind FilePlace::kind() const {
    if (isReservedDeviceName(name_))
        return Kind::Other;
    const HandleScope handle(openForQuery(name_));
    if (handle.get() == INVALID_HANDLE_VALUE)
        return Kind::Nothing;  // nothing there yet, or cannot tell
    BY_HANDLE_FILE_INFORMATION information{};
    const bool diskFile = GetFileType(handle.get()) == FILE_TYPE_DISK &&
                          GetFileInformationByHandle(handle.get(), &information) &&
                          !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    return diskFile ? Kind::File : Kind::Other;
}

std::optional<FileIdentity> FilePlace::identity() const {
    const auto identityOf = [](const std::filesystem::path& path) -> std::optional<FileIdentity> {
        const HandleScope handle(openForQuery(path));
        BY_HANDLE_FILE_INFORMATION information{};
        if (handle.get() == INVALID_HANDLE_VALUE ||
            !GetFileInformationByHandle(handle.get(), &information))
            return std::nullopt;
        return FileIdentity{
            information.dwVolumeSerialNumber,
            (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow,
            {}};
    };
    if (auto identity = identityOf(name_))
        return identity;
    // Nothing there yet: its folder and its name, which Windows compares without case.
    auto identity = identityOf(name_.parent_path().empty() ? "." : name_.parent_path());
    if (identity)
        identity->name = upperCase(name_.filename().native());
    return identity;
}

std::optional<std::filesystem::perms> FilePlace::permissions() const {
    return std::nullopt;  // a new file takes its folder's access rules
}

std::optional<NewFile> FilePlace::openTruncated(std::error_code& error) const {
    const HANDLE handle = CreateFileW(name_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = lastError();
        return std::nullopt;
    }
    error.clear();
    return NewFile(reinterpret_cast<std::intptr_t>(handle));
}

std::optional<NewFile> FilePlace::createNew(std::optional<std::filesystem::perms>,
                                            std::error_code& error) const {
    // CREATE_NEW fails when the name exists, whatever it is; FILE_FLAG_OPEN_REPARSE_POINT makes
    // sure a link there is never resolved to its target.
    const HANDLE handle =
        CreateFileW(name_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = lastError();
        return std::nullopt;
    }
    error.clear();
    return NewFile(reinterpret_cast<std::intptr_t>(handle));
}

bool FilePlace::remove(std::error_code& error) const {
    // DeleteFileW removes a symbolic link itself, not its target.
    const DWORD code = retryWhileHeld([&] { return DeleteFileW(name_.c_str()); });
    if (code != ERROR_SUCCESS && code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) {
        error = errorOf(code);
        return false;
    }
    error.clear();
    return true;
}

bool FilePlace::moveOnto(const FilePlace& target, std::error_code& error) const {
    const DWORD code = retryWhileHeld([&] {
        return MoveFileExW(name_.c_str(), target.name_.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    });
    if (code != ERROR_SUCCESS) {
        error = errorOf(code);
        return false;
    }
    error.clear();
    return true;
}

}  // namespace fwu::platform
