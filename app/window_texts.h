#pragma once

#include <QMessageBox>
#include <QString>

#include "app/message_presenter.h"

// The message boxes of the window, each defined once.
namespace fwu::app::texts {

inline constexpr const char* WindowTitle = "Firmware Update";

// Velnor.bin is missing at start-up; the program ends after it.
MessageBoxRequest imageMissing();
// An operation reported a failure.
MessageBoxRequest operationError(const QString& message);
// The window is being closed while firmware is written to the device.
MessageBoxRequest closeWhileWriting();
// The search passed over a supported device it was not allowed to open.
MessageBoxRequest permissionDenied();

}  // namespace fwu::app::texts
