#include "app/frm_main.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSocketNotifier>
#include <utility>

#include "app/message_presenter.h"
#include "app/progress_fill_widget.h"

namespace fwu::app {
namespace {

using window::ControlId;
using window::ControlKind;

window::TwipsScale scaleFor(const QWidget& window, const WindowOptions& options) {
    if (options.dpi)
        return window::TwipsScale(*options.dpi, *options.dpi);
    return window::TwipsScale(window.logicalDpiX(), window.logicalDpiY());
}

}  // namespace

FrmMain::FrmMain(platform::HidPlatform& platform, firmware::ProgramFiles files,
                 MessagePresenter& messages, WindowOptions options)
    : messages_(messages) {
    const window::TwipsScale scale = scaleFor(*this, options);
    controls_ = buildForm(*this, scale);
    logic_ = std::make_unique<window::MainWindow>(*this, scale, platform, std::move(files),
                                                  options.settings);
    connectButtons();
}

FrmMain::~FrmMain() = default;

void FrmMain::start() {
    logic_->start();
}

QWidget& FrmMain::control(ControlId control) const {
    return *controls_.at(static_cast<std::size_t>(control));
}

void FrmMain::connectButtons() {
    for (const window::ControlDesign& design : window::controlDesigns()) {
        if (design.kind != ControlKind::Button)
            continue;
        connect(static_cast<QPushButton*>(&control(design.id)), &QPushButton::clicked, this,
                [this, id = design.id] { logic_->click(id); });
    }
}

void FrmMain::showWindow() {
    show();
}

void FrmMain::closeWindow() {
    close();
}

void FrmMain::setCaption(ControlId id, std::string_view text) {
    const QString caption = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QWidget& widget = control(id);
    switch (window::controlDesign(id).kind) {
        case ControlKind::Label:
        case ControlKind::ValueLabel:
        case ControlKind::StatusText:
            static_cast<QLabel&>(widget).setText(caption);
            break;
        case ControlKind::Button:
            static_cast<QPushButton&>(widget).setText(caption);
            break;
        case ControlKind::TextBox:
            static_cast<QLineEdit&>(widget).setText(caption);
            break;
        case ControlKind::Frame:
            static_cast<QGroupBox&>(widget).setTitle(caption);
            break;
        case ControlKind::Trough:
        case ControlKind::ProgressFill:
            break;  // picture boxes have no caption
    }
}

void FrmMain::setEnabled(ControlId id, bool enabled) {
    control(id).setEnabled(enabled);
}

void FrmMain::setVisible(ControlId id, bool visible) {
    control(id).setVisible(visible);
}

void FrmMain::setFocus(ControlId id) {
    control(id).setFocus();
}

std::optional<ControlId> FrmMain::focusedControl() const {
    const QWidget* focused = focusWidget();
    for (const window::ControlDesign& design : window::controlDesigns()) {
        if (&control(design.id) == focused)
            return design.id;
    }
    return std::nullopt;
}

void FrmMain::setFillWidth(int pixels, window::Repaint repaint) {
    QWidget& fill = control(ControlId::Pic);
    fill.resize(pixels, fill.height());
    if (repaint == window::Repaint::Now)
        fill.repaint();
}

window::MessageAnswer FrmMain::showMessage(const window::MessageBoxRequest& request) {
    return answerOf(messages_.present(toQt(request), this), request);
}

void FrmMain::processEvents() {
    QCoreApplication::processEvents();
}

void FrmMain::setFillValue(int percent) {
    static_cast<ProgressFillWidget&>(control(ControlId::Pic)).setPercent(percent);
}

void FrmMain::watchDescriptor(int descriptor) {
    auto* notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] { logic_->devicesChanged(); });
}

void FrmMain::postDevicesChanged() {
    QMetaObject::invokeMethod(
        this, [this] { logic_->devicesChanged(); }, Qt::QueuedConnection);
}

// Qt does not always make a window active when it is shown (no window manager,
// focus-stealing prevention), so the activation is queued after the first show.
void FrmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (activationQueued_)
        return;
    activationQueued_ = true;
    QMetaObject::invokeMethod(
        this, [this] { logic_->activate(); }, Qt::QueuedConnection);
}

void FrmMain::closeEvent(QCloseEvent* event) {
    event->setAccepted(logic_->closeRequested());
}

// Space presses the focused button by itself; Enter only in a dialog, so the form does it here,
// where a key that the button passes on arrives.
void FrmMain::keyPressEvent(QKeyEvent* event) {
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    if (button && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        button->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace fwu::app
