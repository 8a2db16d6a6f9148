#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>

// The few file operations that must be done with the operating system's own calls: the place of
// a file to write, found without following a link planted on its path; a file created
// exclusively; writes made durable; one file put in place of another in a single step; and the
// folder of the running program.
namespace fwu::platform {

// The folder that holds the running program, or nothing when the system cannot tell.
std::optional<std::filesystem::path> programFolder();

// A path from UTF-8 text, the program's own encoding, on every system: never through the
// system's ANSI code page.
std::filesystem::path pathFromUtf8(std::string_view text);

// Writes all of `bytes` with calls of `writeSome`, each of which writes a leading part of what
// it is given and returns how many bytes it took, or nothing (with `error` set) when it failed.
// A call that takes no bytes is a failure: the system would take no more on a second try.
using PartialWrite =
    std::function<std::optional<std::size_t>(std::span<const std::uint8_t>, std::error_code&)>;
[[nodiscard]] bool writeInParts(std::span<const std::uint8_t> bytes, const PartialWrite& writeSome,
                                std::error_code& error);

// A file the program opened for writing at a FilePlace. Closed when destroyed; movable, not
// copyable.
class NewFile {
  public:
    NewFile(NewFile&& other) noexcept;
    NewFile& operator=(NewFile&& other) noexcept;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile();

    bool isOpen() const { return handle_ != ClosedHandle; }

    // Appends all of `bytes`.
    [[nodiscard]] bool write(std::span<const std::uint8_t> bytes, std::error_code& error);
    // Returns once everything written so far is on the disk.
    [[nodiscard]] bool flushToDisk(std::error_code& error);
    // Closes the file; a write the system could only fail at this point is reported here.
    [[nodiscard]] bool close(std::error_code& error);

  private:
    friend class FilePlace;
    static constexpr std::intptr_t ClosedHandle = -1;
    explicit NewFile(std::intptr_t handle) : handle_(handle) {}

    std::intptr_t handle_ = ClosedHandle;  // a file descriptor or a Windows HANDLE
};

// The identity of a file whatever path leads to it: its device and inode, on Windows its
// volume's serial number and its file index. For a name that holds nothing yet: its folder's
// identity and the name.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    std::filesystem::path name;  // only for a name that holds nothing yet

    bool operator==(const FileIdentity&) const = default;
};

// Why no place was found for a file.
struct PlaceProblem {
    std::error_code error;
    std::filesystem::path refusedLink;  // the link not followed (see FilePlace), if that was why
};

// Where the program writes a file: the folder that holds it, held open, and its name there.
// Found by following the links of the path one at a time, each checked as the kernel checks
// them with fs.protected_symlinks on: in a sticky folder that every user may write to (such as
// /tmp) a link is followed only when it belongs to the user running the program or to the
// folder's owner, since anyone could have left any other link there. Whatever is done at the
// place later (opening, creating, removing, renaming) is done relative to the folder held and
// never through a link at the name, so a link put on the path after the check redirects
// nothing. On Windows the path is taken as given and the system follows its links (see
// docs/windows.md).
class FilePlace {
  public:
    enum class Kind { Nothing, File, Other };  // Other: a folder, a device, a pipe, a socket

    static std::optional<FilePlace> find(const std::filesystem::path& path, PlaceProblem& problem);

    FilePlace(FilePlace&& other) noexcept;
    FilePlace& operator=(FilePlace&& other) noexcept;
    FilePlace(const FilePlace&) = delete;
    FilePlace& operator=(const FilePlace&) = delete;
    ~FilePlace();

    // The file's path with the links on the way followed, for messages.
    const std::filesystem::path& path() const { return path_; }
    // Another name in the same folder.
    std::optional<FilePlace> sibling(const std::filesystem::path& name,
                                     std::error_code& error) const;

    // What is at the name now. On Windows a reserved device name (NUL, CON, COM1, also with an
    // extension) and whatever opens as other than a file on a disk is Other.
    Kind kind() const;
    std::optional<FileIdentity> identity() const;
    // The permissions of the file there; nothing when there is none, and on Windows.
    std::optional<std::filesystem::perms> permissions() const;

    // Opens what is there for writing from its start, or creates a file: the trace. Never
    // waits: a named pipe that no program reads is refused (ENXIO) instead of waited for.
    std::optional<NewFile> openTruncated(std::error_code& error) const;
    // Creates a new file, with `permissions` when given. Fails when anything is at the name, a
    // link included.
    std::optional<NewFile> createNew(std::optional<std::filesystem::perms> permissions,
                                     std::error_code& error) const;
    // Removes the name itself, a link rather than its target. Nothing there counts as success.
    // On Windows a file that another program (a virus scanner, an indexer) holds open for a
    // moment is tried again for a few hundred milliseconds, here and in moveOnto.
    [[nodiscard]] bool remove(std::error_code& error) const;
    // Puts this file in place of `target` in one step, and makes that durable: whatever
    // happens, `target` is either the earlier file or the whole of this one.
    [[nodiscard]] bool moveOnto(const FilePlace& target, std::error_code& error) const;

  private:
    friend class LineLog;
    static constexpr std::intptr_t NoFolder = -1;
    FilePlace(std::intptr_t folder, std::filesystem::path name, std::filesystem::path path,
              bool kernelLink)
        : folder_(folder),
          name_(std::move(name)),
          path_(std::move(path)),
          kernelLink_(kernelLink) {}

    std::intptr_t folder_ = NoFolder;  // the folder's descriptor; unused on Windows
    std::filesystem::path name_;       // the name in the folder; on Windows the whole path
    std::filesystem::path path_;
    // A link of the kernel's own (/proc/self/fd/1), which names no path to follow: checked, and
    // opened through by the kernel.
    bool kernelLink_ = false;
};

// The file at `path` opened for writing from its start, as a trace is: its place found, then
// FilePlace::openTruncated. Nothing, with `problem` saying why, when it cannot be.
std::optional<NewFile> openToOverwrite(const std::filesystem::path& path, PlaceProblem& problem);

}  // namespace fwu::platform
