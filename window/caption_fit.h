#pragma once

#include <array>
#include <functional>
#include <string_view>
#include <vector>

#include "window/form_design.h"
#include "window/twips.h"

namespace fwu::window {

// The DPIs at which every caption must fit its control.
inline constexpr std::array<double, 3> CaptionCheckDpis{96.0, 120.0, 144.0};

// Room left on each side of a button's caption for its border and focus rectangle.
inline constexpr double ButtonCaptionInsetTwips = 60.0;

// The size in pixels of `text` (UTF-8, one line) drawn in `font` at `dpi`, as the toolkit that
// draws the window measures it.
using MeasureText =
    std::function<PixelSize(const FontDesign& font, std::string_view text, double dpi)>;

struct CaptionMisfit {
    ControlId control;
    std::string_view caption;
    PixelSize text;
    PixelSize room;
};

// The room a control's caption has at `scale`.
PixelSize captionRoom(const ControlDesign& control, const TwipsScale& scale);

// The fixed captions (the design's, and those the window sets later) that are wider or taller
// than the room their control gives them at `dpi`.
std::vector<CaptionMisfit> captionsThatDoNotFit(double dpi, const MeasureText& measure);

// The texts of lblStatus that, wrapped at word breaks as a label of several lines wraps them,
// are taller than its room, or hold a word wider than it, at `dpi`.
std::vector<CaptionMisfit> statusTextsThatDoNotFit(double dpi, const MeasureText& measure);

}  // namespace fwu::window
