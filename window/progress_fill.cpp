#include "window/progress_fill.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "window/form_controls.h"
#include "window/form_design.h"
#include "window/progress_width.h"
#include "window/window_view.h"

namespace fwu::window {
namespace {

std::int16_t nearestTwipHalvesToEven(float twips) {
    // nearbyint rounds halves to even in the default rounding mode.
    const double rounded = std::nearbyint(static_cast<double>(twips));
    constexpr double Lowest = std::numeric_limits<std::int16_t>::min();
    constexpr double Highest = std::numeric_limits<std::int16_t>::max();
    if (!(rounded >= Lowest))
        return std::numeric_limits<std::int16_t>::min();
    if (rounded > Highest)
        return std::numeric_limits<std::int16_t>::max();
    return static_cast<std::int16_t>(rounded);
}

const TwipsRect& fillDesign() {
    return controlDesign(ControlId::Pic).geometry;
}

}  // namespace

ProgressFill::ProgressFill(WindowView& view, FormControls& controls, const TwipsScale& scale,
                           FillRepaint repaint)
    : view_(view),
      controls_(controls),
      scale_(scale),
      repaint_(repaint),
      widthTwips_(static_cast<float>(fillDesign().width)),
      pixels_(pixelsFor(widthTwips_)) {}

void ProgressFill::measureFullWidth() {
    fullWidth_ = nearestTwipHalvesToEven(widthTwips_);
}

void ProgressFill::hide() {
    controls_.setVisible(ControlId::Pic, false);
}

void ProgressFill::show() {
    setWidth(0.0f, When::Later);
    controls_.setVisible(ControlId::Pic, true);
}

void ProgressFill::advance(std::int64_t done, std::int64_t total) {
    setWidth(progressWidth(fullWidth_, done, total), When::AtAdvance);
}

void ProgressFill::clear() {
    setWidth(0.0f, When::Later);
}

void ProgressFill::rescale(const TwipsScale& scale) {
    scale_ = scale;
    pixels_ = pixelsFor(widthTwips_);
    view_.setFillWidth(pixels_, Repaint::Later);
}

// The flash dump advances the bar 1,048,576 times and most advances leave it as wide on screen
// as before: those cost one comparison, no resize and no paint.
void ProgressFill::setWidth(float twips, When when) {
    widthTwips_ = twips;
    tellPercent(twips);
    const int pixels = pixelsFor(twips);
    const bool everyAdvance = when == When::AtAdvance && repaint_ == FillRepaint::EveryAdvance;
    if (pixels == pixels_ && !everyAdvance)
        return;
    pixels_ = pixels;
    view_.setFillWidth(pixels, when == When::AtAdvance ? Repaint::Now : Repaint::Later);
}

void ProgressFill::tellPercent(float twips) {
    const long rounded = fullWidth_ > 0 ? std::lround(100.0f * twips / fullWidth_) : 0;
    const int percent = static_cast<int>(std::clamp(rounded, 0L, 100L));
    if (percent == percent_)
        return;
    percent_ = percent;
    view_.setFillValue(percent);
}

int ProgressFill::pixelsFor(float twips) const {
    const TwipsRect& design = fillDesign();
    return scale_.toPixels(TwipsRect{design.left, design.top, twips, design.height}).width;
}

}  // namespace fwu::window
