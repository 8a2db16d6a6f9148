#include "window/window_host.h"

#include "window/event_pacer.h"
#include "window/form_controls.h"
#include "window/operation_buttons.h"
#include "window/progress_fill.h"
#include "window/window_texts.h"
#include "window/window_view.h"

namespace fwu::window {

WindowHost::WindowHost(WindowView& view, FormControls& controls, OperationButtons& buttons,
                       ProgressFill& fill, EventPacer& events)
    : view_(view), controls_(controls), buttons_(buttons), fill_(fill), events_(events) {}

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
    fill_.show();
}

// One step of the bar: the width, repainted at once when it changed on screen, then a pass over
// the pending events (paced, see EventPacer).
void WindowHost::advanceProgress(std::int64_t done, std::int64_t total) {
    fill_.advance(done, total);
    events_.request();
}

void WindowHost::clearProgress() {
    fill_.clear();
}

void WindowHost::processEvents() {
    events_.request();
}

void WindowHost::disableUpdateButton() {
    buttons_.setEnabled(ControlId::Command3, false);
}

void WindowHost::clearProductAndVersion() {
    controls_.setCaption(ControlId::lblProduct, "");
    controls_.setCaption(ControlId::lblVersion, "");
}

void WindowHost::showUpgradeBusy() {
    controls_.setCaption(ControlId::Command4, texts::UpgradeBusyCaption);
    buttons_.setEnabled(ControlId::Command4, false);
}

void WindowHost::setStatusText(const std::string& text) {
    controls_.setCaption(ControlId::Text1, text);
}

// The window closes once the operation has returned: it is never closed, let alone destroyed,
// under a running loop.
void WindowHost::unload() {
    unloadRequested_ = true;
}

void WindowHost::showError(const std::string& message) {
    if (cancelRequested_)
        return;  // the person closing the window stopped the operation and knows why
    view_.showMessage(texts::operationError(message));
}

void WindowHost::showNotice(const std::string& message) {
    controls_.setCaption(ControlId::Text1, message);
}

// The window locks the buttons for the whole of a run itself (beginRun), the upgrade's inner
// download included, so the operations' own notice adds nothing.
void WindowHost::busyChanged(bool /*busy*/) {}

}  // namespace fwu::window
