#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>

#include "tests/firmware/operations_fixture.h"
#include "window/main_window.h"
#include "window/window_view.h"

namespace fwu::window::testing {

using firmware::testing::imageBytes;
using firmware::testing::writeFile;
using simulator::DeviceConfig;
using simulator::Direction;
using enum ControlId;

inline constexpr ControlId OperationButtons[] = {Command1, Command2, Command3,
                                                 Command4, Command5, Command6};

struct ControlState {
    std::string caption;
    bool enabled = true, visible = true;
};

struct FillStep {
    int pixels;
    Repaint repaint;
    bool anyButtonEnabled;  // of the six operation buttons, when the step came
};

// A screen without a toolkit: it keeps what the logic told it, and plays the person's part in
// the passes over the pending events.
class FakeView : public WindowView {
  public:
    FakeView() {
        for (const ControlDesign& design : controlDesigns())
            (*this)[design.id] = {std::string(design.caption), design.enabled, design.visible};
    }
    ControlState& operator[](ControlId control) {
        return controls[static_cast<std::size_t>(control)];
    }

    void showWindow() override { shown = true; }
    void closeWindow() override {  // as a toolkit does, it asks first
        closes += window->closeRequested() ? 1 : 0;
        shown = closes == 0;
    }
    void setCaption(ControlId control, std::string_view text) override {
        (*this)[control].caption = text;
    }
    // As a toolkit does, a control that is disabled loses the focus.
    void setEnabled(ControlId control, bool enabled) override {
        (*this)[control].enabled = enabled;
        if (!enabled && focus == control)
            focus.reset();
    }
    void setVisible(ControlId control, bool visible) override {
        (*this)[control].visible = visible;
    }
    void setFocus(ControlId control) override { focus = control; }
    std::optional<ControlId> focusedControl() const override { return focus; }
    void setFillWidth(int pixels, Repaint repaint) override {
        fill.push_back({pixels, repaint, std::ranges::any_of(OperationButtons, [this](auto button) {
                            return (*this)[button].enabled;
                        })});
    }
    MessageAnswer showMessage(const MessageBoxRequest& request) override {
        boxes.push_back(request);
        designStateAtBox = shown && !(*this)[Pic].visible && !(*this)[Command3].enabled &&
                           (*this)[lblManuf].caption.empty();
        return answer.value_or(request.defaultAnswer);
    }
    void processEvents() override {
        if (const auto person = std::exchange(duringFirstPass, nullptr))
            person();
        deliverNotifications();
    }
    // As a toolkit's event loop: the notifications posted since, one call each.
    void deliverNotifications() {
        for (; delivered < wakes; ++delivered)
            window->devicesChanged();
    }
    void setFillValue(int percent) override { fillValues.push_back(percent); }
    void watchDescriptor(int) override { ADD_FAILURE() << "the simulated bus has no descriptor"; }
    void postDevicesChanged() override { ++wakes; }

    MainWindow* window = nullptr;
    std::array<ControlState, ControlCount> controls;
    bool shown = false;
    int closes = 0;  // closes the window allowed
    std::optional<ControlId> focus;
    std::vector<FillStep> fill;
    std::vector<MessageBoxRequest> boxes;
    bool designStateAtBox = false;
    std::optional<MessageAnswer> answer;    // the box's default answer when not set
    std::function<void()> duringFirstPass;  // what the person does then
    std::vector<int> fillValues;            // as assistive technology was told them
    int wakes = 0, delivered = 0;
};

// A program folder, a simulated bus on the virtual clock and the window's logic over a fake
// view, laid out at 96 DPI (one pixel is 15 twips) unless told otherwise.
struct WindowRig {
    // Puts a device on the bus, as configured by default and then changed by `change`.
    void addDevice(const std::function<void(DeviceConfig&)>& change) {
        DeviceConfig config;
        change(config);
        bus.addDevice(config);
    }

    std::filesystem::path path(const char* name) const { return folder.path() / name; }
    // The window after its start-up and first activation.
    MainWindow& start(double dpi = 96.0) {
        window = std::make_unique<MainWindow>(view, TwipsScale(dpi, dpi), bus,
                                              firmware::ProgramFiles{folder.path()}, settings);
        view.window = window.get();
        window->start();
        window->activate();
        return *window;
    }
    // Time passes on the bus while the window waits for events: what was scheduled meanwhile
    // happens, and its notifications reach the window.
    void passTime(std::chrono::milliseconds duration) {
        bus.sleep(duration);
        bus.monotonicTime();  // the bus's events due by now take place
        view.deliverNotifications();
    }
    // The command byte (position 1) of every report the host sent.
    std::vector<std::uint8_t> commandsSent() const {
        std::vector<std::uint8_t> commands;
        for (const auto& entry : bus.transcript()) {
            if (entry.direction == Direction::HostToDevice)
                commands.push_back(entry.bytes.at(1));
        }
        return commands;
    }

    firmware::testing::TempFolder folder;
    simulator::SimulatedBus bus;
    FakeView view;
    WindowSettings settings{.operations = {.dumpBlockCount = 4}};
    std::unique_ptr<MainWindow> window;
};

}  // namespace fwu::window::testing
