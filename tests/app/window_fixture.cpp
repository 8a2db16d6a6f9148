#include "window_fixture.h"

#include <QApplication>
#include <QCoreApplication>
#include <fstream>

namespace fwu::app::testing {
namespace {

// One QApplication for the whole test program.
class QtApplication : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "fwu_app_tests";
        static char* argv[] = {name, nullptr};
        application_ = std::make_unique<QApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override { application_.reset(); }

  private:
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] const auto* const qtApplication =
    ::testing::AddGlobalTestEnvironment(new QtApplication);

}  // namespace

QMessageBox::StandardButton ScriptedMessages::present(const MessageBoxRequest& request,
                                                      QWidget* /*parent*/) {
    shown.push_back(request);
    if (whilePresented)
        whilePresented(request);
    return answer != QMessageBox::NoButton ? answer : request.defaultButton;
}

WindowTest::WindowTest() {
    if (!folder_.isValid())
        throw std::runtime_error("no temporary folder");
}

std::string WindowTest::addDevice(const platform::simulated::DeviceConfig& config) {
    return bus_.addDevice(config);
}

std::filesystem::path WindowTest::path(const std::string& name) const {
    return std::filesystem::path(folder_.path().toStdU16String()) / name;
}

void WindowTest::writeFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path(name), std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

WindowOptions WindowTest::testOptions() {
    WindowOptions options;
    options.dpi = TestDpi;
    options.operations.dumpBlockCount = 4;
    return options;
}

std::unique_ptr<FrmMain> WindowTest::makeWindow(WindowOptions options) {
    const firmware::ProgramFiles files{std::filesystem::path(folder_.path().toStdU16String())};
    return std::make_unique<FrmMain>(bus_, files, messages_, options);
}

std::unique_ptr<FrmMain> WindowTest::startWindow(WindowOptions options) {
    auto window = makeWindow(options);
    window->start();
    QCoreApplication::processEvents();
    return window;
}

std::vector<std::uint8_t> WindowTest::commandsSent() const {
    std::vector<std::uint8_t> commands;
    for (const auto& entry : bus_.transcript()) {
        if (entry.direction == platform::simulated::Direction::HostToDevice)
            commands.push_back(entry.bytes.at(1));
    }
    return commands;
}

std::vector<std::uint8_t> patternBytes(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t index = 0; index < size; ++index)
        bytes[index] = static_cast<std::uint8_t>(seed + index * 7);
    return bytes;
}

}  // namespace fwu::app::testing
