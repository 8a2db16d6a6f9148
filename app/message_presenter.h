#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace fwu::app {

struct MessageBoxRequest {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Shows the window's message boxes and returns the button chosen. The window shows every box
// through this, so that tests can answer a box without a person.
class MessagePresenter {
  public:
    virtual ~MessagePresenter() = default;
    virtual QMessageBox::StandardButton present(const MessageBoxRequest& request,
                                                QWidget* parent) = 0;
};

// Modal message boxes over the window.
class ModalMessagePresenter : public MessagePresenter {
  public:
    QMessageBox::StandardButton present(const MessageBoxRequest& request, QWidget* parent) override;
};

}  // namespace fwu::app
