#include "app/message_presenter.h"

namespace fwu::app {
namespace {

QMessageBox::StandardButton toQt(window::MessageAnswer answer) {
    switch (answer) {
        case window::MessageAnswer::Yes:
            return QMessageBox::Yes;
        case window::MessageAnswer::No:
            return QMessageBox::No;
        case window::MessageAnswer::Ok:
            break;
    }
    return QMessageBox::Ok;
}

}  // namespace

QtMessageBox toQt(const window::MessageBoxRequest& request) {
    const bool critical = request.icon == window::MessageIcon::Critical;
    const bool yesNo = request.buttons == window::MessageButtons::YesNo;
    return {critical ? QMessageBox::Critical : QMessageBox::Warning,
            QString::fromStdString(request.title), QString::fromStdString(request.text),
            yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
            toQt(request.defaultAnswer)};
}

window::MessageAnswer answerOf(QMessageBox::StandardButton chosen,
                               const window::MessageBoxRequest& request) {
    switch (chosen) {
        case QMessageBox::Yes:
            return window::MessageAnswer::Yes;
        case QMessageBox::No:
            return window::MessageAnswer::No;
        case QMessageBox::Ok:
            return window::MessageAnswer::Ok;
        default:
            return request.defaultAnswer;
    }
}

QMessageBox::StandardButton ModalMessagePresenter::present(const QtMessageBox& box,
                                                           QWidget* parent) {
    QMessageBox dialog(box.icon, box.title, box.text, box.buttons, parent);
    if (box.defaultButton != QMessageBox::NoButton) {
        dialog.setDefaultButton(box.defaultButton);
        dialog.setEscapeButton(box.defaultButton);
    }
    return static_cast<QMessageBox::StandardButton>(dialog.exec());
}

}  // namespace fwu::app
