#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

namespace fwu::platform {

// A file that several programs append their result lines to at once, as the stations of a
// production line do with one log: it is opened for appending only, and each line is written
// whole, in one write, while an advisory lock on the file is held, so lines never mix or
// overwrite each other.
class LineLog {
  public:
    // Opens `path` for appending, creating it when it is not there. Fails for anything that is
    // not a file (a folder, a device, a pipe) and for a file that cannot be written.
    static std::optional<LineLog> open(const std::filesystem::path& path, std::error_code& error);

    LineLog(LineLog&& other) noexcept;
    LineLog& operator=(LineLog&& other) noexcept;
    LineLog(const LineLog&) = delete;
    LineLog& operator=(const LineLog&) = delete;
    ~LineLog();

    // Appends `line` and a line break.
    [[nodiscard]] bool append(std::string_view line, std::error_code& error);

  private:
    static constexpr std::intptr_t ClosedHandle = -1;
    explicit LineLog(std::intptr_t handle) : handle_(handle) {}
    // Opens the file itself, checked to be a regular file: a descriptor or a HANDLE.
    static std::optional<std::intptr_t> openForAppending(const std::filesystem::path& file,
                                                         std::error_code& error);
    // Writes `bytes` at the end of the file in one write while holding the file's lock.
    bool appendWhole(std::span<const std::uint8_t> bytes, std::error_code& error);
    void close();

    std::intptr_t handle_ = ClosedHandle;  // a file descriptor or a Windows HANDLE
};

}  // namespace fwu::platform
