#include "window/identity_area.h"

#include <array>
#include <optional>
#include <string>

#include "device/identity.h"
#include "window/form_controls.h"

namespace fwu::window {
namespace {

constexpr std::array<ControlId, 4> Values{ControlId::lblManuf, ControlId::lblProduct,
                                          ControlId::lblVersion, ControlId::lblSerialNumber};

}  // namespace

void IdentityArea::showValues(const device::IdentityCaptions& captions) {
    const auto show = [this](ControlId label, const std::optional<std::string>& text) {
        if (text)
            controls_.setCaption(label, *text);
    };
    show(ControlId::lblManuf, captions.manufacturer);
    show(ControlId::lblVersion, captions.version);
    show(ControlId::lblProduct, captions.product);
    show(ControlId::lblSerialNumber, captions.serialNumber);
    showStatusPlace(false);
}

void IdentityArea::showStatus(std::string_view text) {
    if (status_ != text)
        controls_.setCaption(ControlId::lblStatus, text);
    showStatusPlace(true);
    status_ = text;
}

void IdentityArea::clearValues() {
    for (const ControlId value : Values)
        controls_.setCaption(value, "");
}

void IdentityArea::showStatusPlace(bool shown) {
    if (!shown)
        status_ = {};
    if (controls_.visible(ControlId::lblStatus) == shown)
        return;
    for (const ControlId value : Values)
        controls_.setVisible(value, !shown);
    controls_.setVisible(ControlId::lblStatus, shown);
}

}  // namespace fwu::window
