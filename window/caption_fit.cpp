#include "window/caption_fit.h"

#include <algorithm>
#include <string>
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

constexpr std::array<std::string_view, 6> StatusTexts{
    texts::NoDevice,    texts::NoDeviceUnnoticed,      texts::DeviceNotPermitted,
    texts::DeviceInUse, texts::DeviceInBootloaderMode, texts::DeviceUpdateEnded};

// The size of `text` wrapped at its spaces to lines at most `width` wide (a word wider than that
// takes a line of its own).
PixelSize wrappedSize(std::string_view text, int width,
                      const std::function<PixelSize(std::string_view)>& measure) {
    int lines = 0, widest = 0;
    std::string line;
    const auto endLine = [&] {
        widest = std::max(widest, measure(line).width);
        ++lines;
    };
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find(' ', start), text.size());
        const std::string_view word = text.substr(start, end - start);
        const std::string longer =
            line.empty() ? std::string(word) : line + " " + std::string(word);
        if (!line.empty() && measure(longer).width > width) {
            endLine();
            line = word;
        } else {
            line = longer;
        }
        start = end + 1;
    }
    endLine();
    return {widest, lines * measure(text).height};
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

std::vector<CaptionMisfit> statusTextsThatDoNotFit(double dpi, const MeasureText& measure) {
    const ControlDesign& design = controlDesign(ControlId::lblStatus);
    const PixelSize room = captionRoom(design, TwipsScale(dpi, dpi));
    std::vector<CaptionMisfit> misfits;
    for (const std::string_view text : StatusTexts) {
        const PixelSize size = wrappedSize(text, room.width, [&](std::string_view line) {
            return measure(*design.font, line, dpi);
        });
        if (size.width > room.width || size.height > room.height)
            misfits.push_back({design.id, text, size, room});
    }
    return misfits;
}

}  // namespace fwu::window
