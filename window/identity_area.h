#pragma once

#include <string_view>

namespace fwu::device {
struct IdentityCaptions;
}

namespace fwu::window {

class FormControls;

// The frame with the device's identity: its four values, or in their place (lblStatus) a text
// that says why there is no device to update and what to do.
class IdentityArea {
  public:
    explicit IdentityArea(FormControls& controls) : controls_(controls) {}

    // The values of a device found; a caption not set leaves its value as it was.
    void showValues(const device::IdentityCaptions& captions);
    // `text`, which outlives the window, in place of the values.
    void showStatus(std::string_view text);
    // Empties the four values.
    void clearValues();

    // What shows in place of the values; empty while they show.
    std::string_view status() const { return status_; }

  private:
    void showStatusPlace(bool shown);

    FormControls& controls_;
    std::string_view status_;
};

}  // namespace fwu::window
