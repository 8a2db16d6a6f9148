#pragma once

#include <cstdint>
#include <set>

#include "platform/hid_platform.h"

namespace fwu::platform::windows {

class WindowsApi;

// The HID services of Windows: SetupAPI lists the HID interfaces, HID.dll does the rest.
// The backend remembers every handle it opened and passes only those to the system: a close
// or a query with any other value (one already closed, or never issued) fails without a call.
class WindowsPlatform final : public HidPlatform {
  public:
    explicit WindowsPlatform(WindowsApi& api);
    ~WindowsPlatform() override;
    WindowsPlatform(const WindowsPlatform&) = delete;
    WindowsPlatform& operator=(const WindowsPlatform&) = delete;

    // Handles this backend opened and has not closed yet.
    int openHandleCount() const { return static_cast<int>(heldHandles_.size()); }

    std::vector<InterfaceEntry> enumerateInterfaces() override;
    OpenResult open(const std::string& path, OpenMode mode) override;
    bool close(Handle handle) override;
    std::optional<Attributes> attributes(Handle handle) override;
    std::optional<Capabilities> capabilities(Handle handle) override;
    bool identityString(Handle handle, IdentityString which,
                        std::span<std::uint8_t> buffer) override;
    bool setFeature(Handle handle, std::span<const std::uint8_t> report) override;
    std::optional<std::size_t> getFeature(Handle handle, std::span<std::uint8_t> report) override;
    void sleep(std::chrono::milliseconds duration) override;
    std::chrono::milliseconds monotonicTime() override;

  private:
    bool holds(Handle handle) const { return heldHandles_.contains(handle); }

    WindowsApi& api_;
    std::set<Handle> heldHandles_;
};

}  // namespace fwu::platform::windows
