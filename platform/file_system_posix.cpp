#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace fwu::platform {

namespace {

constexpr mode_t NewFileMode = 0666;  // narrowed by the user's umask
constexpr int MaxLinkHops = 40;       // as many links as the kernel follows in one path

std::error_code lastError() {
    return {errno, std::generic_category()};
}

int descriptorOf(std::intptr_t handle) {
    return static_cast<int>(handle);
}

// A rename is durable only once the folder that holds both names is flushed too.
void flushFolder(const std::filesystem::path& folder) {
    const auto path = folder.empty() ? std::filesystem::path(".") : folder;
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return;
    ::fsync(descriptor);
    ::close(descriptor);
}

}  // namespace

std::optional<std::filesystem::path> programFolder() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || program.empty())
        return std::nullopt;
    return program.parent_path();
}

std::optional<std::filesystem::path> fileToReplace(const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path file = path;
    for (int hops = 0; fs::is_symlink(fs::symlink_status(file, error)); ++hops) {
        const fs::path next = fs::read_symlink(file, error);
        if (error || hops == MaxLinkHops)
            return std::nullopt;
        file = next.is_absolute() ? next : file.parent_path() / next;
    }
    switch (fs::status(file, error).type()) {
        case fs::file_type::regular:
        case fs::file_type::not_found:
        case fs::file_type::none:  // cannot tell
            return file;
        default:
            return std::nullopt;
    }
}

std::optional<NewFile> NewFile::create(const std::filesystem::path& path, std::error_code& error) {
    const int descriptor =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, NewFileMode);
    if (descriptor < 0) {
        error = lastError();
        return std::nullopt;
    }
    error.clear();
    return NewFile(descriptor);
}

bool NewFile::write(std::span<const std::uint8_t> bytes, std::error_code& error) {
    if (!isOpen()) {
        error = std::make_error_code(std::errc::bad_file_descriptor);
        return false;
    }
    const int descriptor = descriptorOf(handle_);
    return writeInParts(
        bytes,
        [descriptor](std::span<const std::uint8_t> part,
                     std::error_code& failure) -> std::optional<std::size_t> {
            ssize_t written = 0;
            do {
                written = ::write(descriptor, part.data(), part.size());
            } while (written < 0 && errno == EINTR);
            if (written < 0) {
                failure = lastError();
                return std::nullopt;
            }
            return static_cast<std::size_t>(written);
        },
        error);
}

bool NewFile::flushToDisk(std::error_code& error) {
    if (!isOpen()) {
        error = std::make_error_code(std::errc::bad_file_descriptor);
        return false;
    }
    if (::fsync(descriptorOf(handle_)) != 0) {
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
    const int descriptor = descriptorOf(handle_);
    handle_ = ClosedHandle;
    // The descriptor is released even when close reports an error: never close it twice.
    if (::close(descriptor) != 0 && errno != EINTR) {
        error = lastError();
        return false;
    }
    return true;
}

bool removeFileEntry(const std::filesystem::path& path, std::error_code& error) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        error = lastError();
        return false;
    }
    error.clear();
    return true;
}

bool replaceFile(const std::filesystem::path& source, const std::filesystem::path& target,
                 std::error_code& error) {
    if (::rename(source.c_str(), target.c_str()) != 0) {
        error = lastError();
        return false;
    }
    flushFolder(target.parent_path());
    error.clear();
    return true;
}

}  // namespace fwu::platform
