#include "window/main_window.h"

#include <utility>

#include "device/identity.h"
#include "window/window_texts.h"
#include "window/window_view.h"

namespace fwu::window {

MainWindow::MainWindow(WindowView& view, const TwipsScale& scale, platform::HidPlatform& platform,
                       firmware::ProgramFiles files, WindowSettings settings)
    : view_(view),
      files_(std::move(files)),
      controls_(view),
      buttons_(controls_),
      fill_(view, controls_, scale, settings.fillRepaint),
      events_(view, settings.eventInterval),
      host_(view, controls_, buttons_, fill_, events_),
      link_(platform),
      operations_(link_, host_, files_, settings.operations) {}

void MainWindow::start() {
    load();
    if (!shown_)
        showWindow();
}

void MainWindow::load() {
    imageMissing_ = !firmware::imageFileExists(files_.updateImage());
    if (imageMissing_)
        return;    // the activation reports it; nothing else of the start-up runs
    showWindow();  // on screen while the device is searched
    fill_.measureFullWidth();
    fill_.hide();
    link_.findTheHid();
    showDeviceIdentity(device::readIdentityCaptions(link_));
    if (controls_.enabled(ControlId::Command3))
        controls_.setFocus(ControlId::Command3);
}

void MainWindow::showWindow() {
    shown_ = true;
    view_.showWindow();
}

void MainWindow::showDeviceIdentity(const device::IdentityCaptions& captions) {
    if (captions.enableUpdate)
        controls_.setEnabled(ControlId::Command3, true);
    const auto show = [this](ControlId label, const std::optional<std::string>& text) {
        if (text)
            controls_.setCaption(label, *text);
    };
    show(ControlId::lblManuf, captions.manufacturer);
    show(ControlId::lblVersion, captions.version);
    show(ControlId::lblProduct, captions.product);
    show(ControlId::lblSerialNumber, captions.serialNumber);
}

// A window is not always made active when it is shown (no window manager, focus-stealing
// prevention), so the toolkit calls this once after the first show all the same; the
// missing-image box must come either way, and later activations have nothing to do.
void MainWindow::activate() {
    if (activated_)
        return;
    activated_ = true;
    if (imageMissing_) {
        view_.showMessage(texts::imageMissing());
        view_.closeWindow();
        return;
    }
    if (!link_.deviceDetected() && link_.permissionDenied())
        view_.showMessage(texts::permissionDenied());
    else if (const auto& inUse = link_.inUse(); !link_.deviceDetected() && inUse)
        view_.showMessage(texts::deviceInUse(inUse->path, inUse->holder));
}

// Runs one operation to its end. The buttons are locked meanwhile, and a click that reaches the
// window all the same (from the event passes inside the operation) starts nothing. A close
// requested during the run, by the person or by the operation, happens after it returns.
void MainWindow::click(ControlId button) {
    const std::optional<firmware::Operation> operation = OperationButtons::operationOf(button);
    if (!operation || running_ || operations_.busy())
        return;
    const std::optional<ControlId> focused = view_.focusedControl();
    running_ = operation;
    host_.beginRun();
    operations_.run(*operation);
    host_.endRun();
    running_.reset();

    if (closePending_ || host_.unloadRequested()) {
        view_.closeWindow();
        return;
    }
    if (focused && controls_.enabled(*focused) && controls_.visible(*focused))
        controls_.setFocus(*focused);
}

// The unload: the device is closed and the window goes, which ends the program. While an
// operation runs the window stays until it has returned.
bool MainWindow::closeRequested() {
    if (running_) {
        stopRunningOperationToClose();
        return false;
    }
    link_.closeConnection();
    return true;
}

// Stopping an operation that writes firmware can leave the device without a working one, so
// the person is asked first; the dump and the upgrade's wait stop without asking.
void MainWindow::stopRunningOperationToClose() {
    if (askingToClose_ || closePending_)
        return;
    if (writingFirmware()) {
        askingToClose_ = true;
        const MessageAnswer answer = view_.showMessage(texts::closeWhileWriting());
        askingToClose_ = false;
        if (answer != MessageAnswer::Yes)
            return;
    }
    closePending_ = true;
    host_.requestCancel();
}

bool MainWindow::writingFirmware() const {
    const firmware::OperationFacts& facts = firmware::factsOf(*running_);
    if (facts.restartsIntoBootloaderFirst && !host_.progressShown())
        return false;  // still waiting for the device, nothing written yet
    return facts.writesFirmware;
}

}  // namespace fwu::window
