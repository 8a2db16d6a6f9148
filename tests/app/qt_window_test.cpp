#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QPushButton>
#include <cmath>

#include "app/design_fonts.h"
#include "app/frm_main.h"
#include "app/message_presenter.h"
#include "tests/firmware/operations_fixture.h"
#include "window/caption_fit.h"
#include "window/window_texts.h"

namespace fwu::app {
namespace {

using namespace window;
using enum ControlId;

// Answers every box with `answer` and keeps what each one said.
class ScriptedMessages : public MessagePresenter {
  public:
    QMessageBox::StandardButton present(const QtMessageBox& box, QWidget*) override {
        shown.push_back(box);
        return answer;
    }
    std::vector<QtMessageBox> shown;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
};

// The window over a simulated bus, laid out at 96 DPI, where one pixel is 15 twips.
class QtWindow : public ::testing::Test {
  protected:
    firmware::testing::TempFolder folder;
    simulator::SimulatedBus bus;
    ScriptedMessages messages;
    FrmMain window{bus, firmware::ProgramFiles{folder.path()}, messages, {96.0, {}}};
};

TEST_F(QtWindow, BuildsEveryControlOfTheDesign) {
    EXPECT_EQ(window.objectName(), "frmMain");
    EXPECT_EQ(window.windowTitle(), "Firmware Update");
    EXPECT_EQ(window.maximumSize(), QSize(361, 176));
    // By ControlKind: frame, label, value label, button, text box, trough, fill, status text.
    const char* const classes[] = {"QGroupBox", "QLabel", "QLabel", "QPushButton",
                                   "QLineEdit", "QFrame", "QFrame", "QLabel"};
    for (const ControlDesign& design : controlDesigns()) {
        SCOPED_TRACE(design.name.data());
        const QWidget& widget = window.control(design.id);
        EXPECT_EQ(widget.objectName().toStdString(), design.name);
        EXPECT_STREQ(widget.metaObject()->className(), classes[static_cast<int>(design.kind)]);
        EXPECT_EQ(widget.parentWidget()->objectName().toStdString(),
                  design.container ? controlDesign(*design.container).name : "frmMain");
        const PixelRect pixels = pixelGeometry(design.id, TwipsScale(96, 96));
        EXPECT_EQ(widget.geometry(), QRect(pixels.left, pixels.top, pixels.width, pixels.height));
        EXPECT_EQ(widget.property(design.kind == ControlKind::Frame ? "title" : "text").toString(),
                  QString::fromUtf8(design.caption.data(), design.caption.size()));
        EXPECT_EQ(widget.isHidden(), !design.visible);
        EXPECT_EQ(widget.isEnabledTo(widget.parentWidget()), design.enabled);
        EXPECT_EQ(widget.font(), designFont(*design.font));
    }
}

class PaintCounter : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return QObject::eventFilter(watched, event);
    }
    int paints = 0;
};

TEST_F(QtWindow, PaintsTheFillAtOnceOnlyWhenTold) {
    window.showWindow();
    window.setVisible(Pic, true);
    window.processEvents();
    PaintCounter counter;
    window.control(Pic).installEventFilter(&counter);
    window.setFillWidth(169, Repaint::Now);
    EXPECT_EQ(window.control(Pic).width(), 169);
    EXPECT_EQ(counter.paints, 1);
    window.setFillWidth(200, Repaint::Later);
    EXPECT_EQ(window.control(Pic).width(), 200);
    EXPECT_EQ(counter.paints, 1);
}

// With the fonts the window sets, as Qt measures them on a display of each DPI.
TEST(QtCaptions, FitTheirControlsAtEveryDpi) {
    const auto measure = [](const FontDesign& font, std::string_view text, double dpi) {
        QImage display(1, 1, QImage::Format_RGB32);
        display.setDotsPerMeterX(static_cast<int>(std::lround(dpi / 0.0254)));
        display.setDotsPerMeterY(static_cast<int>(std::lround(dpi / 0.0254)));
        const QFontMetricsF metrics(designFont(font), &display);
        const QString caption = QString::fromUtf8(text.data(), text.size());
        return PixelSize{static_cast<int>(std::ceil(metrics.horizontalAdvance(caption))),
                         static_cast<int>(std::ceil(metrics.height()))};
    };
    for (const double dpi : CaptionCheckDpis) {
        std::vector<CaptionMisfit> misfits = captionsThatDoNotFit(dpi, measure);
        std::ranges::copy(statusTextsThatDoNotFit(dpi, measure), std::back_inserter(misfits));
        for (const CaptionMisfit& misfit : misfits) {
            ADD_FAILURE() << misfit.caption << " at " << dpi << " DPI: " << misfit.text.width
                          << " x " << misfit.text.height << " in " << misfit.room.width << " x "
                          << misfit.room.height;
        }
    }
}

// The toolkit's part: the activation after the first show, the boxes as Qt boxes and their
// answers, a click on a button, a close asked of the logic while an operation runs and after.
TEST_F(QtWindow, PassesActivationClicksAndClosesToTheLogic) {
    const std::string device = bus.addDevice({});
    window.start();
    QCoreApplication::processEvents();
    ASSERT_EQ(messages.shown.size(), 1u);
    const QtMessageBox& missing = messages.shown[0];
    EXPECT_EQ(
        std::tie(missing.icon, missing.title, missing.text, missing.buttons),
        std::tuple(QMessageBox::Critical, "File Error", "Cannot find Velnor.bin", QMessageBox::Ok));
    EXPECT_FALSE(window.isVisible()) << "closed";

    firmware::testing::writeFile(folder.path() / "Velnor.bin", firmware::testing::imageBytes(80));
    FrmMain second(bus, firmware::ProgramFiles{folder.path()}, messages, {96.0, {}});
    second.start();
    messages.answer = QMessageBox::NoButton;  // closed without a choice: No, the default
    QMetaObject::invokeMethod(&second, "close", Qt::QueuedConnection);
    static_cast<QPushButton&>(second.control(Command3)).click();
    ASSERT_EQ(messages.shown.size(), 2u);
    const QtMessageBox& question = messages.shown[1];
    EXPECT_EQ(
        std::tie(question.icon, question.buttons, question.defaultButton),
        std::tuple(QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No, QMessageBox::No));
    EXPECT_TRUE(bus.state(device).finishedComplete);
    EXPECT_FALSE(second.control(Command3).isEnabled());
    EXPECT_TRUE(second.isVisible());
    EXPECT_TRUE(second.close());
    EXPECT_EQ(bus.openHandleCount(), 0);
}

}  // namespace
}  // namespace fwu::app
