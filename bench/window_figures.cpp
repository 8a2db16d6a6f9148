// The figures through the window: frmMain on the display, an operation started by a click on its
// button, as a person starts it.
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/frm_main.h"
#include "app/message_presenter.h"
#include "bench/window_figure_set.h"

namespace fwu::bench {
namespace {

// Answers every message box at once with its default button. Any box at all means the
// operation did not go as measured.
class SilentMessages : public app::MessagePresenter {
  public:
    QMessageBox::StandardButton present(const app::QtMessageBox& box,
                                        QWidget* /*parent*/) override {
        shown.push_back(box.text.toStdString());
        return box.defaultButton;
    }
    std::vector<std::string> shown;
};

const char* buttonName(Operation operation) {
    return operation == Operation::Update ? "Command3" : "Command1";
}

app::WindowOptions optionsFor(Driving driving) {
    app::WindowOptions options;
    options.settings = settingsFor(driving);
    return options;
}

// The window as the program shows it, with the person's click timed from press to the end of
// the operation (the operation runs inside the click).
RunMeasurement runInWindow(const ProgramFolder& folder, Operation operation,
                           std::chrono::microseconds latency, Driving driving) {
    BenchBus bench = makeBenchBus(latency);
    SilentMessages messages;
    app::FrmMain window(*bench.bus, firmware::ProgramFiles{folder.path()}, messages,
                        optionsFor(driving));
    window.start();
    if (!QTest::qWaitForWindowExposed(&window))
        throw std::runtime_error("the window did not appear on the display");
    QCoreApplication::processEvents();  // the first activation

    auto* button = window.findChild<QPushButton*>(QString::fromLatin1(buttonName(operation)));
    if (!button || !button->isEnabled())
        throw std::runtime_error(std::string(buttonName(operation)) + " cannot be clicked");
    const Timing timing = timed([&] { QTest::mouseClick(button, Qt::LeftButton); });
    if (!messages.shown.empty())
        throw std::runtime_error("the window said: " + messages.shown.front());

    return checkedMeasurement(operation, bench, folder, timing);
}

}  // namespace
}  // namespace fwu::bench

int main(int argc, char** argv) {
    using namespace fwu::bench;
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    const ProgramFolder folder;
    return runFigureProgram(argc, argv, windowFigures("window", folder, runInWindow));
}
