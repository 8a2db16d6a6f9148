#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/frm_main.h"
#include "app/message_presenter.h"
#include "platform/simulated/simulated_bus.h"

namespace fwu::app::testing {

// Answers every message box without a person and keeps what each one said.
class ScriptedMessages : public MessagePresenter {
  public:
    QMessageBox::StandardButton present(const MessageBoxRequest& request, QWidget* parent) override;

    std::vector<MessageBoxRequest> shown;
    // The answer to every box; the box's default button when not set.
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    // Runs while a box is up, as a person would see the window then.
    std::function<void(const MessageBoxRequest&)> whilePresented;
};

// A program folder, a simulated bus on the virtual clock and a window over both, laid out at
// 96 DPI, where one pixel is 15 twips.
class WindowTest : public ::testing::Test {
  protected:
    static constexpr double TestDpi = 96.0;

    WindowTest();

    std::string addDevice(const platform::simulated::DeviceConfig& config = {});
    void writeFile(const std::string& name, const std::vector<std::uint8_t>& bytes);
    std::filesystem::path path(const std::string& name) const;

    std::unique_ptr<FrmMain> makeWindow(WindowOptions options = testOptions());
    // The window after its start-up and first activation.
    std::unique_ptr<FrmMain> startWindow(WindowOptions options = testOptions());
    static WindowOptions testOptions();
    // The command byte (position 1) of every report the host sent.
    std::vector<std::uint8_t> commandsSent() const;

    QTemporaryDir folder_;
    platform::simulated::SimulatedBus bus_;
    ScriptedMessages messages_;
};

// A different byte at every position, so that a misplaced byte shows.
std::vector<std::uint8_t> patternBytes(std::size_t size, std::uint8_t seed = 1);

template <typename Control>
Control& control(const FrmMain& window, const char* name) {
    auto* found = window.findChild<Control*>(QString::fromLatin1(name));
    if (!found)
        throw std::runtime_error(std::string("no control ") + name);
    return *found;
}

}  // namespace fwu::app::testing
