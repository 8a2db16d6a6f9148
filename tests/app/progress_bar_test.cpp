#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QWidget>
#include <chrono>

#include "app/event_pacer.h"
#include "app/progress_bar.h"

namespace fwu::app {
namespace {

class PaintCounter : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
    int paints = 0;
};

// The dump advances the bar 32 times per block with the same block index, 1,048,576 times in
// all: an advance that leaves the fill as wide on screen must not paint.
TEST(ProgressBar, RepaintsAtOnceOnlyWhenThePixelWidthChanges) {
    QWidget window;
    window.resize(400, 200);
    auto* fill = new QFrame(&window);
    fill->setGeometry(12, 120, 337, 5);
    ProgressBar bar(*fill, QRect(180, 1800, 5055, 75), TwipsScale(96, 96));
    bar.measureFullWidth();
    window.show();
    bar.show();
    QCoreApplication::processEvents();
    PaintCounter counter;
    fill->installEventFilter(&counter);

    const struct {
        std::int64_t done;
        float twips;
        int pixels;
        int paintsSoFar;
    } steps[] = {
        {0, 0.0f, 0, 0},
        {1, 5055.0f / 32767.0f, 0, 0},  // about 0.1543 twips: nothing to show yet
        {16384, 2527.5771f, 169, 1},    // (180 + 2527.58) / 15 rounds to 181, minus 12
        {16385, 2527.7314f, 169, 1},    // a step that moves less than a pixel
        {32767, 5055.0f, 337, 2},
    };
    for (const auto& step : steps) {
        for (int byte = 0; byte < 32; ++byte)
            bar.advance(step.done, 32767);
        EXPECT_FLOAT_EQ(bar.widthTwips(), step.twips) << step.done;
        EXPECT_EQ(fill->width(), step.pixels) << step.done;
        EXPECT_EQ(counter.paints, step.paintsSoFar) << step.done;
    }
    bar.clear();
    EXPECT_EQ(fill->width(), 0);
    EXPECT_TRUE(fill->isVisible());
}

TEST(EventPacer, PassesAtOnceAfterARestartAndThenNotBeforeTheInterval) {
    EventPacer pacer(std::chrono::hours(1));
    int delivered = 0;
    const auto post = [&] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [&] { ++delivered; }, Qt::QueuedConnection);
    };
    post();
    pacer.request();
    EXPECT_EQ(delivered, 1);
    post();
    pacer.request();
    EXPECT_EQ(delivered, 1) << "within the interval";
    pacer.restart();
    pacer.request();
    EXPECT_EQ(delivered, 2);
}

}  // namespace
}  // namespace fwu::app
