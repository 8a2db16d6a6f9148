#include "app/form_builder.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QString>

#include "app/design_fonts.h"
#include "app/progress_fill_widget.h"

namespace fwu::app {
namespace {

using window::ControlDesign;
using window::ControlKind;

QString text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// The frame is disabled so that nothing in it takes input, but its texts must stay as legible
// as in an enabled frame: the disabled colours are the enabled ones.
QWidget* makeFrame() {
    auto* frame = new QGroupBox;
    QPalette palette = frame->palette();
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        const auto colorRole = static_cast<QPalette::ColorRole>(role);
        palette.setBrush(QPalette::Disabled, colorRole, palette.brush(QPalette::Active, colorRole));
    }
    frame->setPalette(palette);
    return frame;
}

QWidget* makeValueLabel() {
    auto* label = new QLabel;
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    label->setAutoFillBackground(true);
    label->setBackgroundRole(QPalette::Base);
    label->setForegroundRole(QPalette::Text);
    return label;
}

QWidget* makeTrough() {
    auto* trough = new QFrame;
    trough->setFrameShape(QFrame::Panel);
    trough->setFrameShadow(QFrame::Sunken);
    trough->setLineWidth(2);
    return trough;
}

QWidget* makeProgressFill() {
    auto* fill = new ProgressFillWidget;
    const auto colour = window::ProgressFillColour;
    QPalette palette = fill->palette();
    palette.setColor(QPalette::Window, QColor(colour.red, colour.green, colour.blue));
    fill->setPalette(palette);
    fill->setAutoFillBackground(true);
    fill->setFrameShape(QFrame::NoFrame);
    return fill;
}

QWidget* makeStatusText() {
    auto* status = new QLabel;
    status->setWordWrap(true);
    status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return status;
}

QWidget* makeControl(const ControlDesign& design) {
    switch (design.kind) {
        case ControlKind::Frame:
            return makeFrame();
        case ControlKind::Label:
            return new QLabel(text(design.caption));
        case ControlKind::ValueLabel:
            return makeValueLabel();
        case ControlKind::Button:
            return new QPushButton(text(design.caption));
        case ControlKind::TextBox:
            return new QLineEdit(text(design.caption));
        case ControlKind::Trough:
            return makeTrough();
        case ControlKind::ProgressFill:
            return makeProgressFill();
        case ControlKind::StatusText:
            return makeStatusText();
    }
    return new QWidget;
}

QRect toQRect(const window::PixelRect& pixels) {
    return QRect(pixels.left, pixels.top, pixels.width, pixels.height);
}

}  // namespace

FormWidgets buildForm(QWidget& form, const window::TwipsScale& scale) {
    const window::FormDesign& design = window::formDesign();
    form.setObjectName(text(design.name));
    form.setWindowTitle(text(design.caption));
    form.setFont(designFont(*design.font));
    const window::PixelSize client = scale.toPixels(design.clientSize);
    form.setFixedSize(client.width, client.height);

    FormWidgets widgets{};
    QWidget* previous = nullptr;
    for (const ControlDesign& control : window::controlDesigns()) {
        QWidget* widget = makeControl(control);
        widget->setObjectName(text(control.name));
        widget->setParent(
            control.container ? widgets.at(static_cast<std::size_t>(*control.container)) : &form);
        widget->setGeometry(toQRect(window::pixelGeometry(control.id, scale)));
        widget->setFont(designFont(*control.font));
        widget->setEnabled(control.enabled);
        widget->setHidden(!control.visible);
        if (!control.accessibleName.empty())
            widget->setAccessibleName(text(control.accessibleName));
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
        widgets.at(static_cast<std::size_t>(control.id)) = widget;
    }
    for (const ControlDesign& control : window::controlDesigns()) {
        QWidget* widget = widgets.at(static_cast<std::size_t>(control.id));
        if (control.kind == ControlKind::ProgressFill)
            widget->raise();
        // A caption's buddy: assistive technology names the value by the caption.
        if (control.namedBy)
            static_cast<QLabel*>(widgets.at(static_cast<std::size_t>(*control.namedBy)))
                ->setBuddy(widget);
    }
    return widgets;
}

}  // namespace fwu::app
