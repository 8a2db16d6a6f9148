#include "window/caption_fit.h"

#include <utility>

#include "window/window_texts.h"

namespace fwu::window {
namespace {

// Captions the window gives controls at run time; the devices' identity texts are not fixed.
constexpr std::array<std::pair<ControlId, std::string_view>, 1> LaterCaptions{{
    {ControlId::Command4, texts::UpgradeBusyCaption},
}};

std::vector<std::pair<ControlId, std::string_view>> fixedCaptions() {
    std::vector<std::pair<ControlId, std::string_view>> captions(LaterCaptions.begin(),
                                                                 LaterCaptions.end());
    for (const ControlDesign& control : controlDesigns()) {
        if (!control.caption.empty())
            captions.emplace_back(control.id, control.caption);
    }
    return captions;
}

}  // namespace

PixelSize captionRoom(const ControlDesign& control, const TwipsScale& scale) {
    const PixelRect bounds = scale.toPixels(control.geometry);
    if (control.kind != ControlKind::Button)
        return {bounds.width, bounds.height};
    const int insetX = scale.xToPixels(ButtonCaptionInsetTwips);
    const int insetY = scale.yToPixels(ButtonCaptionInsetTwips);
    return {bounds.width - 2 * insetX, bounds.height - 2 * insetY};
}

std::vector<CaptionMisfit> captionsThatDoNotFit(double dpi, const MeasureText& measure) {
    const TwipsScale scale(dpi, dpi);
    std::vector<CaptionMisfit> misfits;
    for (const auto& [control, caption] : fixedCaptions()) {
        const ControlDesign& design = controlDesign(control);
        const PixelSize text = measure(*design.font, caption, dpi);
        const PixelSize room = captionRoom(design, scale);
        if (text.width > room.width || text.height > room.height)
            misfits.push_back({control, caption, text, room});
    }
    return misfits;
}

}  // namespace fwu::window
