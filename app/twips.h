#pragma once

#include <QRect>
#include <QRectF>
#include <QSize>

class QWidget;

namespace fwu::app {

inline constexpr double TwipsPerInch = 1440.0;

// Converts lengths in twips, the unit of the window's layout, into device-independent pixels at
// a screen's logical DPI. Every twips-to-pixels conversion of the program goes through here.
class TwipsScale {
  public:
    TwipsScale(double dpiX, double dpiY) : dpiX_(dpiX), dpiY_(dpiY) {}
    // The logical DPI of the screen the widget is on.
    static TwipsScale of(const QWidget& widget);

    double dpiX() const { return dpiX_; }
    double dpiY() const { return dpiY_; }

    int xToPixels(double twips) const;
    int yToPixels(double twips) const;
    // Converts the edges rather than the size, so that controls designed flush with each other
    // stay flush whatever the DPI.
    QRect toPixels(const QRectF& twips) const;
    QSize toPixels(const QSizeF& twips) const;

  private:
    double dpiX_;
    double dpiY_;
};

}  // namespace fwu::app
