#include "app/message_presenter.h"

namespace fwu::app {

QMessageBox::StandardButton ModalMessagePresenter::present(const MessageBoxRequest& request,
                                                           QWidget* parent) {
    QMessageBox box(request.icon, request.title, request.text, request.buttons, parent);
    if (request.defaultButton != QMessageBox::NoButton) {
        box.setDefaultButton(request.defaultButton);
        box.setEscapeButton(request.defaultButton);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace fwu::app
