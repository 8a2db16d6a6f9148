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

// The dump's output. Blocks go to "<target>.part", created anew; only a complete dump, on the
// disk, replaces the target, in one step. An earlier target is never left half overwritten.
class DumpFile {
  public:
    explicit DumpFile(std::filesystem::path target);

    static std::filesystem::path partialPathFor(const std::filesystem::path& target);
    const std::filesystem::path& target() const { return target_; }
    const std::filesystem::path& partialPath() const { return partialPath_; }

    // Removes a partial file left by an earlier dump (a link there is removed, not followed)
    // and creates a new one exclusively.
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

    std::filesystem::path target_;
    std::filesystem::path partialPath_;
    std::optional<platform::NewFile> file_;
    std::vector<std::uint8_t> pending_;
    std::uint64_t bytesAppended_ = 0;
};

}  // namespace fwu::firmware
