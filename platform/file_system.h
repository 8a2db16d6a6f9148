#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <system_error>

// The few file operations that must be done with the operating system's own calls: a file
// created exclusively, never through a link planted at its path; writes made durable; one file
// put in place of another in a single step; and the folder of the running program.
namespace fwu::platform {

// The folder that holds the running program, or nothing when the system cannot tell.
std::optional<std::filesystem::path> programFolder();

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
// Nothing at the path counts as success; a folder is not removed and is an error.
[[nodiscard]] bool removeFileEntry(const std::filesystem::path& path, std::error_code& error);

// Puts `source` in place of `target` in one step, replacing any earlier `target`: whatever
// happens, `target` is either the earlier file or the whole of `source`.
[[nodiscard]] bool replaceFile(const std::filesystem::path& source,
                               const std::filesystem::path& target, std::error_code& error);

}  // namespace fwu::platform
