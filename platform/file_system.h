#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>

// The few file operations that must be done with the operating system's own calls: a file
// created exclusively, never through a link planted at its path; writes made durable; one file
// put in place of another in a single step; and the folder of the running program.
namespace fwu::platform {

// The folder that holds the running program, or nothing when the system cannot tell.
std::optional<std::filesystem::path> programFolder();

// A path from UTF-8 text, the program's own encoding, on every system: never through the
// system's ANSI code page.
std::filesystem::path pathFromUtf8(std::string_view text);

// The file that writing a new file in place of `path` replaces: `path` itself when it names
// nothing yet or a regular file, the file a symbolic link names (the link stays), and nothing
// when `path` is no file to write: a folder, a device, a pipe or a socket, and on Windows a
// reserved device name (NUL, CON, COM1, also with an extension) or anything that opens as
// other than a file on a disk. Where the system cannot tell, `path` itself: creating the file
// then says why it cannot be written.
std::optional<std::filesystem::path> fileToReplace(const std::filesystem::path& path);

// Writes all of `bytes` with calls of `writeSome`, each of which writes a leading part of what
// it is given and returns how many bytes it took, or nothing (with `error` set) when it failed.
// A call that takes no bytes is a failure: the system would take no more on a second try.
using PartialWrite =
    std::function<std::optional<std::size_t>(std::span<const std::uint8_t>, std::error_code&)>;
[[nodiscard]] bool writeInParts(std::span<const std::uint8_t> bytes, const PartialWrite& writeSome,
                                std::error_code& error);

// A file this program created and writes alone. Closed when destroyed; movable, not copyable.
class NewFile {
  public:
    // Creates `path` as a new, empty file open for writing. Fails when anything exists at the
    // path already, a symbolic link included: a link there is never followed.
    static std::optional<NewFile> create(const std::filesystem::path& path, std::error_code& error);

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
    static constexpr std::intptr_t ClosedHandle = -1;
    explicit NewFile(std::intptr_t handle) : handle_(handle) {}

    std::intptr_t handle_ = ClosedHandle;  // a file descriptor or a Windows HANDLE
};

// Removes the directory entry `path` itself: a symbolic link is removed, never its target.
// Nothing at the path counts as success; a folder is not removed and is an error. On Windows a
// file that another program (a virus scanner, an indexer) holds open for a moment is tried again
// for a few hundred milliseconds, here and in replaceFile.
[[nodiscard]] bool removeFileEntry(const std::filesystem::path& path, std::error_code& error);

// Puts `source` in place of `target` in one step, replacing any earlier `target`: whatever
// happens, `target` is either the earlier file or the whole of `source`.
[[nodiscard]] bool replaceFile(const std::filesystem::path& source,
                               const std::filesystem::path& target, std::error_code& error);

}  // namespace fwu::platform
