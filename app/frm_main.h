#pragma once

#include <QWidget>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "app/event_pacer.h"
#include "app/twips_layout.h"
#include "device/device_link.h"
#include "firmware/operations.h"
#include "firmware/program_files.h"

class QCloseEvent;
class QShowEvent;

namespace Ui {
class frmMain;
}

namespace fwu::platform {
class HidPlatform;
}

namespace fwu::device {
struct IdentityCaptions;
}

namespace fwu::app {

class MessagePresenter;
class OperationButtons;
class ProgressBar;
class WindowHost;

struct WindowOptions {
    // The logical DPI the layout is converted at; the screen's when not set.
    std::optional<double> dpi;
    // The least time between two passes over the pending events while an operation runs.
    std::chrono::milliseconds eventInterval{5};
    firmware::OperationSettings operations;
};

// The program's only window. It owns the connection to the device, runs the start-up, starts
// every operation from its buttons and closes the device when it is closed.
class FrmMain : public QWidget {
    Q_OBJECT

  public:
    FrmMain(platform::HidPlatform& platform, firmware::ProgramFiles files,
            MessagePresenter& messages, WindowOptions options = {});
    ~FrmMain() override;

    // The start-up: the image check, and when the image is there the window shown, the progress
    // bar measured and hidden, the device search and its identity. A window the start-up did
    // not show is shown in its design state. The first activation follows when the event loop
    // runs.
    void start();

    bool imageMissing() const { return imageMissing_; }
    std::int16_t progressFullWidth() const;
    const TwipsLayout& layout() const { return layout_; }
    const ProgressBar& progressBar() const { return *progressBar_; }

  signals:
    // The window closed and closed the device with it: the program ends.
    void unloaded();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    enum class Operation { Update, Download, Upgrade, Dump, EraseChip, EnterBootloader };

    void load();
    void activate();
    void showDeviceIdentity(const device::IdentityCaptions& captions);
    void connectButtons();
    void run(Operation operation);
    firmware::OperationResult perform(Operation operation);
    void stopRunningOperationToClose();
    bool writingFirmware() const;

    std::unique_ptr<Ui::frmMain> ui_;
    firmware::ProgramFiles files_;
    MessagePresenter& messages_;
    TwipsLayout layout_;
    std::unique_ptr<ProgressBar> progressBar_;
    EventPacer events_;
    std::unique_ptr<OperationButtons> buttons_;
    std::unique_ptr<WindowHost> host_;
    device::DeviceLink link_;
    std::unique_ptr<firmware::FirmwareOperations> operations_;

    bool imageMissing_ = false;
    bool activationQueued_ = false;
    std::optional<Operation> running_;
    bool askingToClose_ = false;
    bool closePending_ = false;
};

}  // namespace fwu::app
