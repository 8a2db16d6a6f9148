#pragma once

#include <QWidget>
#include <memory>
#include <optional>

#include "app/form_builder.h"
#include "firmware/program_files.h"
#include "window/main_window.h"
#include "window/window_view.h"

class QCloseEvent;
class QKeyEvent;
class QShowEvent;

namespace fwu::platform {
class HidPlatform;
}

namespace fwu::app {

class MessagePresenter;

struct WindowOptions {
    // The logical DPI the design is converted at; the screen's when not set.
    std::optional<double> dpi;
    window::WindowSettings settings;
};

// The program's only window in Qt Widgets: the form built from its design, drawn as the
// window's logic (window::MainWindow) tells it, with the person's clicks and close requests
// passed on to that logic.
class FrmMain : public QWidget, public window::WindowView {
  public:
    FrmMain(platform::HidPlatform& platform, firmware::ProgramFiles files,
            MessagePresenter& messages, WindowOptions options = {});
    ~FrmMain() override;

    // The start-up (window::MainWindow::start); the first activation follows from the event loop.
    void start();

    window::MainWindow& logic() { return *logic_; }
    QWidget& control(window::ControlId control) const;

    using QWidget::setEnabled;
    using QWidget::setFocus;
    using QWidget::setVisible;

    // window::WindowView
    void showWindow() override;
    void closeWindow() override;
    void setCaption(window::ControlId control, std::string_view text) override;
    void setEnabled(window::ControlId control, bool enabled) override;
    void setVisible(window::ControlId control, bool visible) override;
    void setFocus(window::ControlId control) override;
    std::optional<window::ControlId> focusedControl() const override;
    void setFillWidth(int pixels, window::Repaint repaint) override;
    window::MessageAnswer showMessage(const window::MessageBoxRequest& request) override;
    void processEvents() override;
    void setFillValue(int percent) override;
    void watchDescriptor(int descriptor) override;
    void postDevicesChanged() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void connectButtons();

    MessagePresenter& messages_;
    FormWidgets controls_;
    std::unique_ptr<window::MainWindow> logic_;
    bool activationQueued_ = false;
};

}  // namespace fwu::app
