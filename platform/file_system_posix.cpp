#include "platform/file_system.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <string>
#include <utility>

namespace fwu::platform {

namespace {

constexpr mode_t NewFileMode = 0666;  // narrowed by the user's umask
constexpr int MaxLinkHops = 40;       // as many links as the kernel follows in one path
constexpr int FolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

std::error_code lastError() {
    return {errno, std::generic_category()};
}

int descriptorOf(std::intptr_t handle) {
    return static_cast<int>(handle);
}

// A descriptor closed when it goes.
class Descriptor {
  public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    ~Descriptor() { reset(-1); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return descriptor_; }
    void reset(int descriptor) {
        if (descriptor_ >= 0)
            ::close(descriptor_);
        descriptor_ = descriptor;
    }
    int release() { return std::exchange(descriptor_, -1); }

  private:
    int descriptor_;
};

// The rule of fs.protected_symlinks: in a sticky folder that every user may write to, only a
// link of the user running the program or of the folder's owner is followed.
bool mayFollow(const struct stat& link, int folder) {
    struct stat holder {};
    if (::fstat(folder, &holder) != 0)
        return false;
    const bool shared = (holder.st_mode & S_ISVTX) != 0 && (holder.st_mode & S_IWOTH) != 0;
    return !shared || link.st_uid == ::geteuid() || link.st_uid == holder.st_uid;
}

// /proc's links (/proc/self, /proc/self/fd/1) name no path to follow; only the kernel can.
bool isProcFolder(int folder) {
    struct statfs system {};
    return ::fstatfs(folder, &system) == 0 && system.f_type == PROC_SUPER_MAGIC;
}

// The parts of a path after its root; a trailing '/' stands for the folder itself.
std::deque<std::filesystem::path> partsOf(const std::filesystem::path& path) {
    std::deque<std::filesystem::path> parts;
    for (const auto& part : path.relative_path())
        parts.push_back(part.empty() ? std::filesystem::path(".") : part);
    return parts;
}

std::optional<std::filesystem::path> linkTarget(int folder, const std::filesystem::path& name) {
    std::string text(PATH_MAX, '\0');
    const ssize_t length = ::readlinkat(folder, name.c_str(), text.data(), text.size());
    if (length < 0)
        return std::nullopt;
    if (length == 0 || static_cast<std::size_t>(length) >= text.size()) {
        errno = length == 0 ? ENOENT : ENAMETOOLONG;
        return std::nullopt;
    }
    text.resize(static_cast<std::size_t>(length));
    return std::filesystem::path(text);
}

// A rename is durable only once the folder that holds both names is flushed too.
void flushFolder(int folder) {
    const Descriptor readable(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (readable.get() >= 0)
        ::fsync(readable.get());
}

}  // namespace

std::optional<std::filesystem::path> programFolder() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || program.empty())
        return std::nullopt;
    return program.parent_path();
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

// Walks the path one part at a time from the root or the working folder, holding each folder
// open, and reads each link itself.
std::optional<FilePlace> FilePlace::find(const std::filesystem::path& path, PlaceProblem& problem) {
    namespace fs = std::filesystem;
    problem = {};
    Descriptor folder(::open(path.is_absolute() ? "/" : ".", FolderFlags));
    fs::path shown = path.root_path();  // the folder's path, for messages
    std::deque<fs::path> left = partsOf(path);
    for (int hops = 0; folder.get() >= 0;) {
        if (left.empty())
            left.emplace_back(".");
        const fs::path name = left.front();
        left.pop_front();
        const bool last = left.empty();
        struct stat entry {};
        if (::fstatat(folder.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT && last)
                return FilePlace(folder.release(), name, shown / name, false);
            break;
        }
        if (!S_ISLNK(entry.st_mode)) {
            if (last)
                return FilePlace(folder.release(), name, shown / name, false);
            folder.reset(::openat(folder.get(), name.c_str(), FolderFlags | O_NOFOLLOW));
            shown /= name;
            continue;
        }
        if (!mayFollow(entry, folder.get())) {
            problem.error = std::make_error_code(std::errc::permission_denied);
            problem.refusedLink = shown / name;
            return std::nullopt;
        }
        if (++hops > MaxLinkHops) {
            errno = ELOOP;
            break;
        }
        if (isProcFolder(folder.get())) {
            if (last)
                return FilePlace(folder.release(), name, shown / name, true);
            folder.reset(::openat(folder.get(), name.c_str(), FolderFlags));
            shown /= name;
            continue;
        }
        const auto target = linkTarget(folder.get(), name);
        if (!target)
            break;
        if (target->is_absolute()) {
            folder.reset(::open("/", FolderFlags));
            shown = "/";
        }
        const auto parts = partsOf(*target);
        left.insert(left.begin(), parts.begin(), parts.end());
    }
    problem.error = lastError();
    return std::nullopt;
}

FilePlace::FilePlace(FilePlace&& other) noexcept
    : folder_(std::exchange(other.folder_, NoFolder)),
      name_(std::move(other.name_)),
      path_(std::move(other.path_)),
      kernelLink_(other.kernelLink_) {}

FilePlace& FilePlace::operator=(FilePlace&& other) noexcept {
    if (this != &other) {
        Descriptor earlier(descriptorOf(std::exchange(folder_, other.folder_)));
        other.folder_ = NoFolder;
        name_ = std::move(other.name_);
        path_ = std::move(other.path_);
        kernelLink_ = other.kernelLink_;
    }
    return *this;
}

FilePlace::~FilePlace() {
    Descriptor folder(descriptorOf(folder_));
}

std::optional<FilePlace> FilePlace::sibling(const std::filesystem::path& name,
                                            std::error_code& error) const {
    const int folder = ::fcntl(descriptorOf(folder_), F_DUPFD_CLOEXEC, 0);
    if (folder < 0) {
        error = lastError();
        return std::nullopt;
    }
    error.clear();
    return FilePlace(folder, name, path_.parent_path() / name, false);
}

FilePlace::Kind FilePlace::kind() const {
    struct stat entry {};
    const int follow = kernelLink_ ? 0 : AT_SYMLINK_NOFOLLOW;
    if (::fstatat(descriptorOf(folder_), name_.c_str(), &entry, follow) != 0)
        return errno == ENOENT ? Kind::Nothing : Kind::Other;
    return S_ISREG(entry.st_mode) ? Kind::File : Kind::Other;
}

std::optional<FileIdentity> FilePlace::identity() const {
    struct stat entry {};
    const int follow = kernelLink_ ? 0 : AT_SYMLINK_NOFOLLOW;
    if (::fstatat(descriptorOf(folder_), name_.c_str(), &entry, follow) == 0)
        return FileIdentity{entry.st_dev, entry.st_ino, {}};
    if (errno != ENOENT || ::fstat(descriptorOf(folder_), &entry) != 0)
        return std::nullopt;
    return FileIdentity{entry.st_dev, entry.st_ino, name_};
}

std::optional<std::filesystem::perms> FilePlace::permissions() const {
    struct stat entry {};
    if (::fstatat(descriptorOf(folder_), name_.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(entry.st_mode))
        return std::nullopt;
    return static_cast<std::filesystem::perms>(entry.st_mode) & std::filesystem::perms::all;
}

std::optional<NewFile> FilePlace::openTruncated(std::error_code& error) const {
    const int flags =
        O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC | (kernelLink_ ? 0 : O_NOFOLLOW);
    Descriptor file(::openat(descriptorOf(folder_), name_.c_str(), flags, NewFileMode));
    // Once open, writes wait for a slow reader as usual.
    if (file.get() < 0 || ::fcntl(file.get(), F_SETFL, 0) != 0) {
        error = lastError();
        return std::nullopt;
    }
    error.clear();
    return NewFile(file.release());
}

std::optional<NewFile> FilePlace::createNew(std::optional<std::filesystem::perms> permissions,
                                            std::error_code& error) const {
    Descriptor file(::openat(descriptorOf(folder_), name_.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, NewFileMode));
    if (file.get() < 0) {
        error = lastError();
        return std::nullopt;
    }
    if (permissions && ::fchmod(file.get(), static_cast<mode_t>(*permissions)) != 0) {
        error = lastError();
        ::unlinkat(descriptorOf(folder_), name_.c_str(), 0);
        return std::nullopt;
    }
    error.clear();
    return NewFile(file.release());
}

bool FilePlace::remove(std::error_code& error) const {
    if (::unlinkat(descriptorOf(folder_), name_.c_str(), 0) != 0 && errno != ENOENT) {
        error = lastError();
        return false;
    }
    error.clear();
    return true;
}

bool FilePlace::moveOnto(const FilePlace& target, std::error_code& error) const {
    if (::renameat(descriptorOf(folder_), name_.c_str(), descriptorOf(target.folder_),
                   target.name_.c_str()) != 0) {
        error = lastError();
        return false;
    }
    flushFolder(descriptorOf(target.folder_));
    error.clear();
    return true;
}

}  // namespace fwu::platform
