#pragma once

#include <QMessageBox>
#include <QString>

#include "window/message_box.h"

class QWidget;

namespace fwu::app {

struct QtMessageBox {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// The window's box as Qt shows it, and the button chosen as the window's answer: a box closed
// without choosing gives its default answer.
QtMessageBox toQt(const window::MessageBoxRequest& request);
window::MessageAnswer answerOf(QMessageBox::StandardButton chosen,
                               const window::MessageBoxRequest& request);

// Shows the window's message boxes and returns the button chosen. The window shows every box
// through this, so that tests can answer a box without a person.
class MessagePresenter {
  public:
    virtual ~MessagePresenter() = default;
    virtual QMessageBox::StandardButton present(const QtMessageBox& box, QWidget* parent) = 0;
};

// Modal message boxes over the window.
class ModalMessagePresenter : public MessagePresenter {
  public:
    QMessageBox::StandardButton present(const QtMessageBox& box, QWidget* parent) override;
};

}  // namespace fwu::app
