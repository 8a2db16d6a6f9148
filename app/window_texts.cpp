#include "app/window_texts.h"

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

// Only a backend that can tell a device it may not open from an absent one reports this; on
// Linux that is a hidraw node without access for the logged-in user.
MessageBoxRequest permissionDenied() {
#if defined(Q_OS_LINUX)
    const QString remedy = QStringLiteral(
        "Install the udev rule 70-firmware-update.rules that comes with the program (see the "
        "\"Linux\" section of the README), then unplug the device, plug it in again and restart "
        "Firmware Update.");
#else
    const QString remedy = QStringLiteral(
        "Close any other program that uses the device, then unplug it, plug it in again and "
        "restart Firmware Update.");
#endif
    return {QMessageBox::Warning, QString::fromLatin1(WindowTitle),
            QStringLiteral("A device was found but cannot be opened: permission denied. ") + remedy,
            QMessageBox::Ok, QMessageBox::Ok};
}

}  // namespace fwu::app::texts
