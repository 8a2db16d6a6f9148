#include "app/window_texts.h"

#include "firmware/messages.h"

namespace fwu::app::texts {

MessageBoxRequest imageMissing() {
    return {QMessageBox::Critical, QStringLiteral("File Error"),
            QStringLiteral("Cannot find Velnor.bin"), QMessageBox::Ok, QMessageBox::Ok};
}

MessageBoxRequest operationError(const QString& message) {
    return {QMessageBox::Critical, QString::fromLatin1(WindowTitle), message, QMessageBox::Ok,
            QMessageBox::Ok};
}

MessageBoxRequest closeWhileWriting() {
    return {QMessageBox::Warning, QString::fromLatin1(WindowTitle),
            QStringLiteral("Firmware is being written to the device. Closing now can leave it "
                           "unusable. Close anyway?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No};
}

MessageBoxRequest permissionDenied() {
    return {QMessageBox::Warning, QString::fromLatin1(WindowTitle),
            QString::fromStdString(firmware::messages::permissionDenied()), QMessageBox::Ok,
            QMessageBox::Ok};
}

}  // namespace fwu::app::texts
