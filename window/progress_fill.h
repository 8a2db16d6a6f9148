#pragma once

#include <cstdint>

#include "window/twips.h"

namespace fwu::window {

class FormControls;
class WindowView;

// When an advance of the bar repaints the fill at once.
enum class FillRepaint {
    WhenPixelWidthChanges,  // as the program does it
    EveryAdvance,           // as a plain port would; the benchmarks compare the two
};

// The progress bar: the fill Pic in front of its trough. The fill's width is kept in twips
// exactly as computed (fractional) and shown at the pixel width derived from it.
class ProgressFill {
  public:
    ProgressFill(WindowView& view, FormControls& controls, const TwipsScale& scale,
                 FillRepaint repaint);

    // Reads the fill's width as the 100 % width: the nearest whole twip, halves to even.
    void measureFullWidth();
    std::int16_t fullWidth() const { return fullWidth_; }
    float widthTwips() const { return widthTwips_; }
    // The width as a whole percentage of the full width, as assistive technology is told it.
    int percent() const { return percent_; }

    void hide();
    // Width 0, then visible. Nothing is repainted at once.
    void show();
    // The width for `done` of `total`, repainted at once when it changes the fill on screen.
    void advance(std::int64_t done, std::int64_t total);
    // Width 0; the fill stays visible. Nothing is repainted at once.
    void clear();

    // The display's DPI changed: the fill keeps its width in twips.
    void rescale(const TwipsScale& scale);

  private:
    enum class When { Later, AtAdvance };
    void setWidth(float twips, When when);
    int pixelsFor(float twips) const;
    void tellPercent(float twips);

    WindowView& view_;
    FormControls& controls_;
    TwipsScale scale_;
    FillRepaint repaint_;
    float widthTwips_;
    int pixels_;
    std::int16_t fullWidth_ = 0;
    int percent_ = 0;
};

}  // namespace fwu::window
