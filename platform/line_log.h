#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/file_system.h"

namespace fwu::platform {

// A file that several programs append their result lines to at once, as the stations of a
// production line do with one log: each line is written at the end of the file while an
// advisory lock on the file is held, so lines never mix or overwrite each other. An append is
// all or nothing: a line the disk did not take whole is cut off again, back to where it began.
class LineLog {
  public:
    // Opens the file at `path` (its FilePlace) for appending, creating it when it is not there,
    // without waiting. Fails for anything that is not a file (a folder, a device, a pipe: a line
    // could not be cut back there) and for a file that cannot be written.
    static std::optional<LineLog> open(const std::filesystem::path& path, PlaceProblem& problem);

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
    static std::optional<std::intptr_t> openForAppending(const FilePlace& place,
                                                         std::error_code& error);
    // Writes `bytes` at the end of the file while holding the file's lock; cuts the file back to
    // its earlier end when they could not all be written.
    bool appendWhole(std::span<const std::uint8_t> bytes, std::error_code& error);
    void close();

    std::intptr_t handle_ = ClosedHandle;  // a file descriptor or a Windows HANDLE
};

}  // namespace fwu::platform
