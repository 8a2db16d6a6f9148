#pragma once

#include <QObject>
#include <QRect>
#include <cstdint>

#include "app/twips.h"

class QWidget;

namespace fwu::app {

// The progress bar: the fill `Pic` in front of its trough. The fill's width is kept in twips
// exactly as computed (fractional) and shown at the pixel width derived from it.
class ProgressBar : public QObject {
    Q_OBJECT

  public:
    // `designTwips` is the fill's designed geometry; its width is the fill's width until the
    // first step changes it.
    ProgressBar(QWidget& fill, const QRect& designTwips, const TwipsScale& scale);

    // Reads the fill's width as the 100 % width: the nearest whole twip, halves to even.
    void measureFullWidth();
    std::int16_t fullWidth() const { return fullWidth_; }

    float widthTwips() const { return widthTwips_; }

    void hide();
    // Width 0, then visible. Nothing is repainted at once.
    void show();
    // The width for `done` of `total`, repainted at once when it changes the fill on screen.
    void advance(std::int64_t done, std::int64_t total);
    // Width 0; the fill stays visible. Nothing is repainted at once.
    void clear();

  signals:
    // The width a step set, in twips, once the step is done.
    void widthSet(float twips);

  private:
    enum class Repaint { Later, AtOnce };
    void setWidth(float twips, Repaint repaint);

    QWidget& fill_;
    QRect designTwips_;
    TwipsScale scale_;
    float widthTwips_;
    std::int16_t fullWidth_ = 0;
};

}  // namespace fwu::app
