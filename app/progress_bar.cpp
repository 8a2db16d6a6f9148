#include "app/progress_bar.h"

#include <QWidget>
#include <cmath>
#include <limits>

#include "firmware/progress.h"

namespace fwu::app {
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

}  // namespace

ProgressBar::ProgressBar(QWidget& fill, const QRect& designTwips, const TwipsScale& scale)
    : fill_(fill),
      designTwips_(designTwips),
      scale_(scale),
      widthTwips_(static_cast<float>(designTwips.width())) {}

void ProgressBar::measureFullWidth() {
    fullWidth_ = nearestTwipHalvesToEven(widthTwips_);
}

void ProgressBar::hide() {
    fill_.hide();
}

void ProgressBar::show() {
    setWidth(0.0f, Repaint::Later);
    fill_.show();
    emit widthSet(widthTwips_);
}

void ProgressBar::advance(std::int64_t done, std::int64_t total) {
    setWidth(firmware::progressWidth(fullWidth_, done, total), Repaint::AtOnce);
    emit widthSet(widthTwips_);
}

void ProgressBar::clear() {
    setWidth(0.0f, Repaint::Later);
    emit widthSet(widthTwips_);
}

// The flash dump advances the bar 1,048,576 times and most advances leave it as wide on screen
// as before: those cost one comparison, no resize and no paint.
void ProgressBar::setWidth(float twips, Repaint repaint) {
    widthTwips_ = twips;
    const QRectF geometry(designTwips_.left(), designTwips_.top(), twips, designTwips_.height());
    const int pixels = scale_.toPixels(geometry).width();
    if (pixels != fill_.width()) {
        fill_.resize(pixels, fill_.height());
        if (repaint == Repaint::AtOnce)
            fill_.repaint();
    }
}

}  // namespace fwu::app
