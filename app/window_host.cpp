#include "app/window_host.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>

#include "app/event_pacer.h"
#include "app/message_presenter.h"
#include "app/operation_buttons.h"
#include "app/progress_bar.h"
#include "app/window_texts.h"

namespace fwu::app {
namespace {

constexpr const char* UpgradeBusyCaption = "Please wait...";

}  // namespace

WindowHost::WindowHost(QWidget& window, OperationControls controls, ProgressBar& progressBar,
                       OperationButtons& buttons, EventPacer& events, MessagePresenter& messages)
    : window_(window),
      controls_(controls),
      progressBar_(progressBar),
      buttons_(buttons),
      events_(events),
      messages_(messages) {}

void WindowHost::beginRun() {
    cancelRequested_ = false;
    unloadRequested_ = false;
    progressShown_ = false;
    buttons_.lock();
    events_.restart();
}

void WindowHost::endRun() {
    buttons_.unlock();
}

void WindowHost::showProgress() {
    progressShown_ = true;
    progressBar_.show();
}

// One step of the bar: the width, repainted at once when it changed on screen, then a pass over
// the pending events (paced, see EventPacer).
void WindowHost::advanceProgress(std::int64_t done, std::int64_t total) {
    progressBar_.advance(done, total);
    events_.request();
}

void WindowHost::clearProgress() {
    progressBar_.clear();
}

void WindowHost::processEvents() {
    events_.request();
}

void WindowHost::disableUpdateButton() {
    buttons_.setEnabled(controls_.updateButton, false);
}

void WindowHost::clearProductAndVersion() {
    controls_.product.clear();
    controls_.version.clear();
}

void WindowHost::showUpgradeBusy() {
    controls_.upgradeButton.setText(QString::fromLatin1(UpgradeBusyCaption));
    buttons_.setEnabled(controls_.upgradeButton, false);
}

void WindowHost::setStatusText(const std::string& text) {
    controls_.status.setText(QString::fromStdString(text));
}

// The window closes once the operation has returned: it is never closed, let alone destroyed,
// under a running loop.
void WindowHost::unload() {
    unloadRequested_ = true;
}

void WindowHost::showError(const std::string& message) {
    if (cancelRequested_)
        return;  // the person closing the window stopped the operation and knows why
    messages_.present(texts::operationError(QString::fromStdString(message)), &window_);
}

// The window locks the buttons for the whole of a run itself (beginRun), the upgrade's inner
// download included, so the operations' own notice adds nothing.
void WindowHost::busyChanged(bool /*busy*/) {}

}  // namespace fwu::app
