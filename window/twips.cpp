#include "window/twips.h"

#include <cmath>

namespace fwu::window {

int TwipsScale::xToPixels(double twips) const {
    return static_cast<int>(std::lround(twips * dpiX_ / TwipsPerInch));
}

int TwipsScale::yToPixels(double twips) const {
    return static_cast<int>(std::lround(twips * dpiY_ / TwipsPerInch));
}

PixelRect TwipsScale::toPixels(const TwipsRect& twips) const {
    const int left = xToPixels(twips.left);
    const int top = yToPixels(twips.top);
    const int right = xToPixels(twips.left + twips.width);
    const int bottom = yToPixels(twips.top + twips.height);
    return {left, top, right - left, bottom - top};
}

PixelSize TwipsScale::toPixels(const TwipsSize& twips) const {
    return {xToPixels(twips.width), yToPixels(twips.height)};
}

}  // namespace fwu::window
