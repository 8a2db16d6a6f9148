#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "firmware/operations.h"
#include "firmware/program_files.h"
#include "window/event_pacer.h"
#include "window/form_controls.h"
#include "window/identity_area.h"
#include "window/operation_buttons.h"
#include "window/progress_fill.h"
#include "window/window_host.h"

namespace fwu::platform {
class HidPlatform;
class InterfaceWatch;
}  // namespace fwu::platform

namespace fwu::device {
struct IdentityCaptions;
}

namespace fwu::window {

class WindowView;

struct WindowSettings {
    // The least time between two passes over the pending events while an operation runs.
    std::chrono::milliseconds eventInterval{5};
    FillRepaint fillRepaint = FillRepaint::WhenPixelWidthChanges;
    firmware::OperationSettings operations;
};

// What the program's only window does, whatever draws it: the start-up, the operation each
// button starts, the busy guard and the close rules. It owns the connection to the device and
// drives the screen through a WindowView, whose toolkit calls the entry points below on the
// window's thread.
//
// While it has no device open (none at start-up, the device gone, or closed after an update) the
// identity area says why and what to do, and every change of the devices present is looked at
// as it is notified: a supported device there is taken as at start-up, but not one that the
// window has updated and that has not left since.
class MainWindow {
  public:
    MainWindow(WindowView& view, const TwipsScale& scale, platform::HidPlatform& platform,
               firmware::ProgramFiles files, WindowSettings settings = {});
    ~MainWindow();

    // The start-up: the image check, and when the image is there the window shown, the progress
    // bar measured and hidden, the device search and its identity. A window the start-up did
    // not show is shown in its design state. Call it once, before the event loop runs.
    void start();
    // The window became active. The first call, from the event loop after the window first
    // appeared, shows the missing-image box and closes the window, or says that a device could
    // not be opened or is in use by another program; later calls do nothing.
    void activate();
    // A button was clicked: runs its operation to the end, unless one is running already.
    void click(ControlId button);
    // The person or the system asks to close the window. True: close it now (the device is
    // closed already). False: keep it open; while an operation runs the window closes, if at
    // all, through WindowView::closeWindow() once the operation has returned.
    bool closeRequested();
    // A device may have arrived or left: the view's notification came (see WindowView). While an
    // operation runs the devices are looked at only once it has returned.
    void devicesChanged();

    // The display's DPI changed (the toolkit places the controls anew).
    void rescale(const TwipsScale& scale) { fill_.rescale(scale); }

    bool imageMissing() const { return imageMissing_; }
    std::int16_t progressFullWidth() const { return fill_.fullWidth(); }

  private:
    void load();
    void showWindow();
    void showDeviceIdentity(const device::IdentityCaptions& captions);
    void stopRunningOperationToClose();
    bool writingFirmware() const;

    void watchDevices();
    void showSearchResult(bool permissionDenied);
    void showNoDevice(bool permissionDenied);
    void lookAtDevices();
    void takeDeviceAmong(const std::vector<std::string>& paths);
    void letGoOfDevice();

    WindowView& view_;
    firmware::ProgramFiles files_;
    FormControls controls_;
    IdentityArea identity_;
    OperationButtons buttons_;
    ProgressFill fill_;
    EventPacer events_;
    WindowHost host_;
    device::DeviceLink link_;
    firmware::FirmwareOperations operations_;

    bool imageMissing_ = false;
    bool shown_ = false;
    bool activated_ = false;
    std::optional<firmware::Operation> running_;
    bool askingToClose_ = false;
    bool closePending_ = false;

    std::unique_ptr<platform::InterfaceWatch> watch_;  // none where the system tells nothing
    std::set<std::string> updated_;  // paths of devices updated and still present since
    bool lookingAtDevices_ = false;
    bool devicesChangedMeanwhile_ = false;
    bool closed_ = false;
};

}  // namespace fwu::window
