#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "window_fixture.h"

namespace fwu::app::testing {
namespace {

struct PixelGeometryCase {
    double dpi;
    const char* control;
    QRect pixels;  // worked out by hand from the design's twips
};

class WindowGeometry : public WindowTest {};

TEST_F(WindowGeometry, ConvertsTheDesignFromTwipsAtTheGivenDpi) {
    const PixelGeometryCase cases[] = {
        // 96 DPI: 15 twips a pixel.
        {96, "Frame1", {8, 0, 345, 113}},
        {96, "lblManuf", {104, 16, 236, 22}},
        {96, "Command3", {112, 136, 129, 33}},
        {96, "Picture1", {8, 116, 345, 13}},
        {96, "Pic", {12, 120, 337, 5}},
        // 144 DPI: 10 twips a pixel; edges that fall on a half round away from zero.
        {144, "Frame1", {12, 0, 518, 170}},
        {144, "lblManuf", {156, 24, 354, 33}},
        {144, "Command3", {168, 204, 193, 50}},
        {144, "Picture1", {12, 174, 518, 20}},
        {144, "Pic", {18, 180, 506, 8}},
    };
    for (const auto& c : cases) {
        WindowOptions options = testOptions();
        options.dpi = c.dpi;
        const auto window = makeWindow(options);
        EXPECT_EQ(control<QWidget>(*window, c.control).geometry(), c.pixels)
            << c.control << " at " << c.dpi << " DPI";
    }
}

TEST_F(WindowGeometry, ClientAreaIs5415By2640Twips) {
    const struct {
        double dpi;
        QSize pixels;
    } cases[] = {{96, {361, 176}}, {144, {542, 264}}, {120, {451, 220}}};
    for (const auto& c : cases) {
        WindowOptions options = testOptions();
        options.dpi = c.dpi;
        const auto window = makeWindow(options);
        EXPECT_EQ(window->size(), c.pixels) << c.dpi;
        EXPECT_EQ(window->minimumSize(), window->maximumSize()) << c.dpi;
        EXPECT_EQ(window->layout().clientSize(), QSize(5415, 2640));
    }
}

// 5055 twips are no whole number of pixels at 120 DPI (421.25) or 72 DPI (252.75): the width is
// measured in twips, never read back from pixels.
TEST_F(WindowGeometry, ProgressFullWidthIs5055WhateverTheDpi) {
    writeFile("Velnor.bin", patternBytes(80));
    for (const double dpi : {72.0, 96.0, 120.0, 144.0, 192.0}) {
        WindowOptions options = testOptions();
        options.dpi = dpi;
        const auto window = startWindow(options);
        EXPECT_EQ(window->progressFullWidth(), 5055) << dpi;
    }
}

class WindowDesign : public WindowTest {};

TEST_F(WindowDesign, EveryControlHasItsKindCaptionAndDesignState) {
    const auto window = makeWindow();
    EXPECT_EQ(window->objectName(), "frmMain");
    EXPECT_EQ(window->windowTitle(), "Firmware Update");

    const struct {
        const char* name;
        const char* kind;
        const char* caption;
        bool hidden;
        bool enabled;
        const char* container;
    } cases[] = {
        {"Frame1", "QGroupBox", "", false, false, "frmMain"},
        {"Label3", "QLabel", "Serial Number", false, false, "Frame1"},
        {"Label4", "QLabel", "Manufacturer", false, false, "Frame1"},
        {"Label5", "QLabel", "Product", false, false, "Frame1"},
        {"Label2", "QLabel", "Version", false, false, "Frame1"},
        {"lblManuf", "QLabel", "", false, false, "Frame1"},
        {"lblProduct", "QLabel", "", false, false, "Frame1"},
        {"lblVersion", "QLabel", "", false, false, "Frame1"},
        {"lblSerialNumber", "QLabel", "", false, false, "Frame1"},
        {"Command4", "QPushButton", "Upgrade Firmware", true, true, "frmMain"},
        {"Command2", "QPushButton", "2. Load Firmware", true, true, "frmMain"},
        {"Pic", "QFrame", "", true, true, "frmMain"},
        {"Picture1", "QFrame", "", false, true, "frmMain"},
        {"Command1", "QPushButton", "Read SPI", true, true, "frmMain"},
        {"Text1", "QLineEdit", "", true, true, "frmMain"},
        {"Command3", "QPushButton", "Update Firmware", false, false, "frmMain"},
        {"Command5", "QPushButton", "Erase chip", true, true, "frmMain"},
        {"Command6", "QPushButton", "Bootloader", true, true, "frmMain"},
    };
    for (const auto& c : cases) {
        const QWidget& widget = control<QWidget>(*window, c.name);
        EXPECT_STREQ(widget.metaObject()->className(), c.kind) << c.name;
        EXPECT_EQ(widget.isHidden(), c.hidden) << c.name;
        EXPECT_EQ(widget.isEnabled(), c.enabled) << c.name;
        EXPECT_EQ(widget.parentWidget()->objectName(), c.container) << c.name;
        QString text;
        if (auto* button = qobject_cast<const QPushButton*>(&widget))
            text = button->text();
        else if (auto* label = qobject_cast<const QLabel*>(&widget))
            text = label->text();
        else if (auto* edit = qobject_cast<const QLineEdit*>(&widget))
            text = edit->text();
        else if (auto* frame = qobject_cast<const QGroupBox*>(&widget))
            text = frame->title();
        EXPECT_EQ(text, c.caption) << c.name;
    }
}

TEST_F(WindowDesign, FontsAreTheDesignsWithTheirFractionalSizes) {
    const auto window = makeWindow();
    const struct {
        const char* name;
        const char* family;
        double pointSize;
        bool bold;
    } cases[] = {
        {"Command3", "MS Sans Serif", 8.25, true}, {"Command1", "MS Sans Serif", 8.25, true},
        {"Command4", "MS Sans Serif", 8.25, true}, {"Command5", "MS Sans Serif", 8.25, true},
        {"Command6", "MS Sans Serif", 8.25, true}, {"Command2", "MS Sans Serif", 8.25, false},
        {"Frame1", "Arial", 9.75, false},
    };
    for (const auto& c : cases) {
        const QFont font = control<QWidget>(*window, c.name).font();
        EXPECT_EQ(font.families().value(0), c.family) << c.name;
        EXPECT_GT(font.families().size(), 1) << c.name << " has no fallback";
        EXPECT_DOUBLE_EQ(font.pointSizeF(), c.pointSize) << c.name;
        EXPECT_EQ(font.bold(), c.bold) << c.name;
    }
}

// Only the focusable controls take part in the tab order; they keep the design's order.
TEST_F(WindowDesign, TabOrderFollowsTheDesign) {
    const auto window = makeWindow();
    const QStringList expected{"Command4", "Command2", "Command1", "Text1",
                               "Command3", "Command5", "Command6"};
    QStringList order;
    QWidget* widget = &control<QWidget>(*window, "Command4");
    for (int step = 0; step < expected.size(); ++step) {
        order << widget->objectName();
        do {
            widget = widget->nextInFocusChain();
        } while (widget->focusPolicy() == Qt::NoFocus && widget != window.get());
    }
    EXPECT_EQ(order, expected);
}

TEST_F(WindowDesign, LightBlueFillLiesInFrontOfTheTrough) {
    const auto window = makeWindow();
    auto& pic = control<QFrame>(*window, "Pic");
    auto& trough = control<QFrame>(*window, "Picture1");
    EXPECT_EQ(pic.palette().color(pic.backgroundRole()), QColor(128, 128, 255));
    EXPECT_TRUE(pic.autoFillBackground());
    pic.show();
    EXPECT_EQ(window->childAt(pic.geometry().center()), &pic);
    EXPECT_EQ(trough.frameShadow(), QFrame::Sunken);
}

// Frame1 is disabled only so that it takes no input: its texts keep the enabled colours.
TEST_F(WindowDesign, IdentityTextsStayLegibleInTheDisabledFrame) {
    const auto window = makeWindow();
    for (const char* name : {"Label4", "lblManuf", "lblSerialNumber"}) {
        const QLabel& label = control<QLabel>(*window, name);
        const QPalette& palette = label.palette();
        for (const auto role : {label.foregroundRole(), label.backgroundRole()}) {
            EXPECT_EQ(palette.color(QPalette::Disabled, role),
                      palette.color(QPalette::Active, role))
                << name;
        }
    }
    EXPECT_EQ(control<QLabel>(*window, "lblManuf").backgroundRole(), QPalette::Base);
    EXPECT_TRUE(control<QLabel>(*window, "lblManuf").autoFillBackground());
}

}  // namespace
}  // namespace fwu::app::testing
