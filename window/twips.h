#pragma once

namespace fwu::window {

inline constexpr double TwipsPerInch = 1440.0;

// A control's place in twips, relative to its container's client area.
struct TwipsRect {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
};

struct TwipsSize {
    double width = 0;
    double height = 0;
};

struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PixelRect&) const = default;
};

struct PixelSize {
    int width = 0;
    int height = 0;
    bool operator==(const PixelSize&) const = default;
};

// Converts lengths in twips, the unit of the form's design, into pixels at a display's DPI.
// Every twips-to-pixels conversion of both windows goes through here.
class TwipsScale {
  public:
    TwipsScale(double dpiX, double dpiY) : dpiX_(dpiX), dpiY_(dpiY) {}

    double dpiX() const { return dpiX_; }
    double dpiY() const { return dpiY_; }

    int xToPixels(double twips) const;
    int yToPixels(double twips) const;
    // Converts the edges rather than the size, so that controls designed flush with each other
    // stay flush whatever the DPI.
    PixelRect toPixels(const TwipsRect& twips) const;
    PixelSize toPixels(const TwipsSize& twips) const;

  private:
    double dpiX_;
    double dpiY_;
};

}  // namespace fwu::window
