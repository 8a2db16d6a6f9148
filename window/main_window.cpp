#include "window/main_window.h"

#include <algorithm>
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
      identity_(controls_),
      buttons_(controls_),
      fill_(view, controls_, scale, settings.fillRepaint),
      events_(view, settings.eventInterval),
      host_(view, controls_, buttons_, fill_, events_),
      link_(platform),
      operations_(link_, host_, files_, settings.operations) {}

MainWindow::~MainWindow() = default;

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
    watchDevices();  // before the search, so that a device arriving meanwhile is not missed
    link_.findTheHid();
    showSearchResult(link_.permissionDenied());
}

void MainWindow::showWindow() {
    shown_ = true;
    view_.showWindow();
}

// After a search: the device's identity, with "Update Firmware" enabled and focused; or, in the
// identity area, why there is no device to update.
void MainWindow::showSearchResult(bool permissionDenied) {
    if (!link_.deviceDetected()) {
        showNoDevice(permissionDenied);
        return;
    }
    showDeviceIdentity(device::readIdentityCaptions(link_));
    if (link_.inBootloaderMode())
        identity_.showStatus(texts::DeviceInBootloaderMode);
    if (controls_.enabled(ControlId::Command3))
        controls_.setFocus(ControlId::Command3);
}

// The update writes the application firmware, so a device in bootloader mode is not offered it.
void MainWindow::showDeviceIdentity(const device::IdentityCaptions& captions) {
    if (captions.enableUpdate && !link_.inBootloaderMode())
        controls_.setEnabled(ControlId::Command3, true);
    identity_.showValues(captions);
}

// The values stay behind the text while the device updated is still there.
void MainWindow::showNoDevice(bool permissionDenied) {
    if (!updated_.empty() && !permissionDenied) {
        identity_.showStatus(texts::DeviceUpdateEnded);
        return;
    }
    identity_.clearValues();
    if (permissionDenied)
        identity_.showStatus(texts::DeviceNotPermitted);
    else if (link_.inUse())
        identity_.showStatus(texts::DeviceInUse);
    else
        identity_.showStatus(texts::noDevice(watch_ != nullptr));
}

void MainWindow::watchDevices() {
    watch_ = link_.platform().watchInterfaces([&view = view_] { view.postDevicesChanged(); });
    if (!watch_)
        return;
    if (const auto descriptor = watch_->readableDescriptor())
        view_.watchDescriptor(*descriptor);
}

void MainWindow::devicesChanged() {
    if (closed_ || !watch_ || !watch_->takeChanges())
        return;
    if (running_ || lookingAtDevices_) {
        devicesChangedMeanwhile_ = true;
        return;
    }
    lookAtDevices();
}

// The device held is let go of once it has left; without one, a device present is taken. A box
// shown meanwhile lets notifications through, which are looked at after it.
void MainWindow::lookAtDevices() {
    lookingAtDevices_ = true;
    do {
        devicesChangedMeanwhile_ = false;
        std::vector<std::string> present;
        for (platform::InterfaceEntry& entry : link_.platform().enumerateInterfaces())
            present.push_back(std::move(entry.path));
        const auto isPresent = [&present](const std::string& path) {
            return std::ranges::find(present, path) != present.end();
        };
        std::erase_if(updated_, [&](const std::string& path) { return !isPresent(path); });
        if (link_.isOpen() && !isPresent(link_.devicePath()))
            letGoOfDevice();
        if (!link_.isOpen())
            takeDeviceAmong(present);
    } while (devicesChangedMeanwhile_ && !closed_);
    lookingAtDevices_ = false;
}

// The search of the start-up, one interface at a time, passing over the devices updated.
void MainWindow::takeDeviceAmong(const std::vector<std::string>& paths) {
    link_.setDeviceDetected(false);
    bool permissionDenied = false;
    for (const std::string& path : paths) {
        if (path.empty() || updated_.contains(path))
            continue;
        link_.choose({path, std::nullopt});
        const bool found = link_.findTheHid();
        permissionDenied = permissionDenied || link_.permissionDenied();
        if (found)
            break;
    }
    link_.choose({});
    if (link_.deviceDetected())
        identity_.clearValues();
    const bool newlyDenied = permissionDenied && !link_.deviceDetected() &&
                             identity_.status() != texts::DeviceNotPermitted;
    showSearchResult(permissionDenied);
    if (newlyDenied)
        view_.showMessage(texts::permissionDenied());
}

void MainWindow::letGoOfDevice() {
    link_.closeConnection();
    identity_.clearValues();
    controls_.setEnabled(ControlId::Command3, false);
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
    const bool held = link_.isOpen();
    const std::string heldPath = link_.devicePath();
    running_ = operation;
    host_.beginRun();
    operations_.run(*operation);
    host_.endRun();
    running_.reset();

    if (closePending_ || host_.unloadRequested()) {
        view_.closeWindow();
        return;
    }
    if (held && !link_.isOpen()) {  // the update closes the device it wrote to
        updated_.insert(heldPath);
        showNoDevice(false);
    }
    if (std::exchange(devicesChangedMeanwhile_, false))
        lookAtDevices();
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
    closed_ = true;
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
