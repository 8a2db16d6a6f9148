#include "app/frm_main.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <array>
#include <utility>

#include "app/design_fonts.h"
#include "app/message_presenter.h"
#include "app/operation_buttons.h"
#include "app/progress_bar.h"
#include "app/window_host.h"
#include "app/window_texts.h"
#include "device/identity.h"
#include "ui_frmmain.h"

namespace fwu::app {
namespace {

TwipsScale scaleFor(const QWidget& window, const WindowOptions& options) {
    if (options.dpi)
        return TwipsScale(*options.dpi, *options.dpi);
    return TwipsScale::of(window);
}

// Frame1 is disabled so that nothing in it takes input, but its labels must stay as legible as
// in an enabled frame: the disabled colours are the enabled ones. The value labels show the
// system's window background and window text.
void styleIdentityFrame(Ui::frmMain& ui) {
    QPalette palette = ui.Frame1->palette();
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        const auto colorRole = static_cast<QPalette::ColorRole>(role);
        palette.setBrush(QPalette::Disabled, colorRole, palette.brush(QPalette::Active, colorRole));
    }
    ui.Frame1->setPalette(palette);
    for (QLabel* value : {ui.lblManuf, ui.lblProduct, ui.lblVersion, ui.lblSerialNumber}) {
        value->setAutoFillBackground(true);
        value->setBackgroundRole(QPalette::Base);
        value->setForegroundRole(QPalette::Text);
    }
}

QString caption(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

FrmMain::FrmMain(platform::HidPlatform& platform, firmware::ProgramFiles files,
                 MessagePresenter& messages, WindowOptions options)
    : ui_(std::make_unique<Ui::frmMain>()),
      files_(std::move(files)),
      messages_(messages),
      events_(options.eventInterval),
      link_(platform) {
    ui_->setupUi(this);
    applyDesignFonts(*this);
    styleIdentityFrame(*ui_);
    const TwipsScale scale = scaleFor(*this, options);
    layout_ = TwipsLayout::apply(*this, scale);

    progressBar_ =
        std::make_unique<ProgressBar>(*ui_->Pic, layout_.designGeometry(*ui_->Pic), scale);
    buttons_ = std::make_unique<OperationButtons>(std::vector<QPushButton*>{
        ui_->Command1, ui_->Command2, ui_->Command3, ui_->Command4, ui_->Command5, ui_->Command6});
    const OperationControls controls{*ui_->Command3, *ui_->Command4, *ui_->lblProduct,
                                     *ui_->lblVersion, *ui_->Text1};
    host_ =
        std::make_unique<WindowHost>(*this, controls, *progressBar_, *buttons_, events_, messages_);
    operations_ =
        std::make_unique<firmware::FirmwareOperations>(link_, *host_, files_, options.operations);
    connectButtons();
}

FrmMain::~FrmMain() = default;

std::int16_t FrmMain::progressFullWidth() const {
    return progressBar_->fullWidth();
}

void FrmMain::start() {
    load();
    if (!isVisible())
        show();
}

void FrmMain::load() {
    imageMissing_ = !firmware::imageFileExists(files_.updateImage());
    if (imageMissing_)
        return;  // the activation reports it; nothing else of the start-up runs
    show();      // on screen while the device is searched
    progressBar_->measureFullWidth();
    progressBar_->hide();
    link_.findTheHid();
    showDeviceIdentity(device::readIdentityCaptions(link_));
    if (ui_->Command3->isEnabled())
        ui_->Command3->setFocus();
}

void FrmMain::showDeviceIdentity(const device::IdentityCaptions& captions) {
    if (captions.enableUpdate)
        ui_->Command3->setEnabled(true);
    if (captions.manufacturer)
        ui_->lblManuf->setText(caption(*captions.manufacturer));
    if (captions.version)
        ui_->lblVersion->setText(caption(*captions.version));
    if (captions.product)
        ui_->lblProduct->setText(caption(*captions.product));
    if (captions.serialNumber)
        ui_->lblSerialNumber->setText(caption(*captions.serialNumber));
}

// The activation runs once, from the event loop, after the first show. A window is not always
// made active when it is shown (no window manager, focus-stealing prevention), and the
// missing-image box must come all the same; later activations have nothing to do.
void FrmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (activationQueued_)
        return;
    activationQueued_ = true;
    QMetaObject::invokeMethod(this, &FrmMain::activate, Qt::QueuedConnection);
}

void FrmMain::activate() {
    if (imageMissing_) {
        messages_.present(texts::imageMissing(), this);
        close();
        return;
    }
    if (!link_.deviceDetected() && link_.permissionDenied())
        messages_.present(texts::permissionDenied(), this);
}

void FrmMain::connectButtons() {
    const std::array<std::pair<QPushButton*, Operation>, 6> bindings{{
        {ui_->Command3, Operation::Update},
        {ui_->Command4, Operation::Upgrade},
        {ui_->Command2, Operation::Download},
        {ui_->Command1, Operation::Dump},
        {ui_->Command5, Operation::EraseChip},
        {ui_->Command6, Operation::EnterBootloader},
    }};
    for (const auto& [button, operation] : bindings) {
        connect(button, &QPushButton::clicked, this,
                [this, operation = operation] { run(operation); });
    }
}

// Runs one operation to its end. The buttons are locked meanwhile, and a click that reaches the
// window all the same (from the event passes inside the operation) starts nothing. A close
// requested during the run, by the person or by the operation, happens after it returns.
void FrmMain::run(Operation operation) {
    if (running_ || operations_->busy())
        return;
    const QPointer<QWidget> focused = focusWidget();
    running_ = operation;
    host_->beginRun();
    perform(operation);
    host_->endRun();
    running_.reset();

    if (closePending_ || host_->unloadRequested()) {
        close();
        return;
    }
    if (focused && focused->isEnabled() && focused->isVisible())
        focused->setFocus();
}

firmware::OperationResult FrmMain::perform(Operation operation) {
    switch (operation) {
        case Operation::Update:
            return operations_->update();
        case Operation::Download:
            return operations_->download();
        case Operation::Upgrade:
            return operations_->upgrade();
        case Operation::Dump:
            return operations_->dump();
        case Operation::EraseChip:
            return operations_->eraseChip();
        case Operation::EnterBootloader:
            return operations_->enterBootloader();
    }
    return {};
}

// The unload: the device is closed and the window goes, which ends the program. While an
// operation runs the window stays until it has returned.
void FrmMain::closeEvent(QCloseEvent* event) {
    if (running_) {
        event->ignore();
        stopRunningOperationToClose();
        return;
    }
    link_.closeConnection();
    event->accept();
    emit unloaded();
}

// Stopping an operation that writes firmware can leave the device without a working one, so
// the person is asked first; the dump and the upgrade's wait stop without asking.
void FrmMain::stopRunningOperationToClose() {
    if (askingToClose_ || closePending_)
        return;
    if (writingFirmware()) {
        askingToClose_ = true;
        const auto answer = messages_.present(texts::closeWhileWriting(), this);
        askingToClose_ = false;
        if (answer != QMessageBox::Yes)
            return;
    }
    closePending_ = true;
    host_->requestCancel();
}

bool FrmMain::writingFirmware() const {
    switch (*running_) {
        case Operation::Update:
        case Operation::Download:
            return true;
        case Operation::Upgrade:
            return host_->progressShown();  // past the wait, into the download
        default:
            return false;
    }
}

}  // namespace fwu::app
