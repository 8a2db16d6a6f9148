// The figures through the Windows window under Wine: frmMain on the display, an operation started
// by its button's click notification, which runs the operation inside the click as a person's
// click does.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "bench/window_figure_set.h"
#include "win32/control_windows.h"
#include "win32/form_window.h"
#include "win32/message_loop.h"

namespace fwu::bench {
namespace {

using window::ControlId;

// The form with every message box answered at once by its default button. Any box at all means
// the operation did not go as measured.
class SilentWindow : public win32::FormWindow {
  public:
    using FormWindow::FormWindow;
    window::MessageAnswer showMessage(const window::MessageBoxRequest& request) override {
        shown.push_back(request.text);
        return request.defaultAnswer;
    }
    std::vector<std::string> shown;
};

ControlId buttonOf(Operation operation) {
    return operation == Operation::Update ? ControlId::Command3 : ControlId::Command1;
}

// The window as the program shows it, with the click timed from the notification to the end of
// the operation.
RunMeasurement runInWindow(const ProgramFolder& folder, Operation operation,
                           std::chrono::microseconds latency, Driving driving) {
    BenchBus bench = makeBenchBus(latency);
    SilentWindow window(*bench.bus, firmware::ProgramFiles{folder.path()}, settingsFor(driving));
    window.start();
    win32::processPendingMessages(window.handle());  // the first activation, the first paint

    const ControlId id = buttonOf(operation);
    const HWND button = window.control(id);
    if (!IsWindowEnabled(button))
        throw std::runtime_error("the button of the operation cannot be clicked");
    const WPARAM click = MAKEWPARAM(win32::commandIdOf(id), BN_CLICKED);
    const Timing timing = timed([&] {
        SendMessageW(window.handle(), WM_COMMAND, click, reinterpret_cast<LPARAM>(button));
    });
    if (!window.shown.empty())
        throw std::runtime_error("the window said: " + window.shown.front());

    return checkedMeasurement(operation, bench, folder, timing);
}

}  // namespace
}  // namespace fwu::bench

int main(int argc, char** argv) {
    using namespace fwu::bench;

    const ProgramFolder folder;
    return runFigureProgram(argc, argv, windowFigures("win32", folder, runInWindow));
}
