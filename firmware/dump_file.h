#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <system_error>
#include <vector>

#include "device/protocol.h"
#include "platform/file_system.h"

namespace fwu::firmware {

// The dump's output. Blocks go to "<target>.part", created anew in the target's folder; only a
// complete dump, on the disk, replaces the target, in one step. An earlier target is never left
// half overwritten, and the new one keeps its permissions.
class DumpFile {
  public:
    explicit DumpFile(platform::FilePlace target);

    static std::filesystem::path partialPathFor(const std::filesystem::path& target);
    const std::filesystem::path& target() const { return target_.path(); }
    const std::filesystem::path& partialPath() const { return partialPath_; }
    // What the partial file holds, or the target once replaced.
    std::uint64_t bytesWritten() const { return bytesWritten_; }

    // Removes a partial file left by an earlier dump (a link there is removed, not followed)
    // and creates a new one exclusively, with the permissions of the earlier target if any.
    [[nodiscard]] bool create(std::error_code& error);
    [[nodiscard]] bool append(std::span<const std::uint8_t, protocol::BlockSize> block,
                              std::error_code& error);
    // Writes what is pending, puts it on the disk and replaces the target with it.
    [[nodiscard]] bool writeOut(std::error_code& error);
    [[nodiscard]] bool replaceTarget(std::error_code& error);
    // Keeps what was appended in the partial file and closes it; a partial file that holds
    // nothing is removed.
    void abandon();

  private:
    [[nodiscard]] bool writePending(std::error_code& error);

    platform::FilePlace target_;
    std::filesystem::path partialPath_;
    std::optional<platform::FilePlace> partial_;
    std::optional<platform::NewFile> file_;
    std::vector<std::uint8_t> pending_;
    std::uint64_t bytesAppended_ = 0;
    std::uint64_t bytesWritten_ = 0;
};

}  // namespace fwu::firmware
