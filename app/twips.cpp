#include "app/twips.h"

#include <QWidget>
#include <cmath>

namespace fwu::app {

TwipsScale TwipsScale::of(const QWidget& widget) {
    return TwipsScale(widget.logicalDpiX(), widget.logicalDpiY());
}

int TwipsScale::xToPixels(double twips) const {
    return static_cast<int>(std::lround(twips * dpiX_ / TwipsPerInch));
}

int TwipsScale::yToPixels(double twips) const {
    return static_cast<int>(std::lround(twips * dpiY_ / TwipsPerInch));
}

QRect TwipsScale::toPixels(const QRectF& twips) const {
    const int left = xToPixels(twips.left());
    const int top = yToPixels(twips.top());
    const int right = xToPixels(twips.left() + twips.width());
    const int bottom = yToPixels(twips.top() + twips.height());
    return QRect(left, top, right - left, bottom - top);
}

QSize TwipsScale::toPixels(const QSizeF& twips) const {
    return QSize(xToPixels(twips.width()), yToPixels(twips.height()));
}

}  // namespace fwu::app
