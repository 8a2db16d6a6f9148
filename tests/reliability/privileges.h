#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

// Tests run as root on the build machines, where file permissions stop nothing. These put the
// limits back: root's right to override file permissions can be set aside for a while, and
// file systems can be mounted in a mount namespace of the test's own.
namespace fwu::reliability {

bool runningAsRoot();

// While it lives, the process cannot override file permissions (root's CAP_DAC_OVERRIDE and
// CAP_DAC_READ_SEARCH are out of its effective set), so a mode of 000 or 555 stops it like any
// user. Outside root it changes nothing.
class FilePermissionsEnforced {
  public:
    FilePermissionsEnforced();
    ~FilePermissionsEnforced();
    FilePermissionsEnforced(const FilePermissionsEnforced&) = delete;
    FilePermissionsEnforced& operator=(const FilePermissionsEnforced&) = delete;

    // False when the process is root and could not give up the override.
    bool enforced() const { return enforced_; }

  private:
    bool dropped_ = false;
    bool enforced_ = false;
};

// A tmpfs mounted at `folder` for the life of the object, in a mount namespace private to the
// test process, so it disappears with the process whatever happens. `why` says what stopped
// the mount when mounted() is false.
class ScratchMount {
  public:
    ScratchMount(const std::filesystem::path& folder, std::size_t sizeBytes, bool readOnly);
    ~ScratchMount();
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; }

  private:
    std::filesystem::path folder_;
    bool mounted_ = false;
    std::string why_;
};

// Writes past `limitBytes` into any file fail with "File too large" while the object lives.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(std::size_t limitBytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    unsigned long long previousSoft_ = 0;
    unsigned long long previousHard_ = 0;
    void (*previousHandler_)(int) = nullptr;
};

}  // namespace fwu::reliability
