#include <QApplication>
#include <QIcon>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/frm_main.h"
#include "app/message_presenter.h"
#include "firmware/program_files.h"
#include "platform/file_system.h"
#include "window/device_backend.h"
#include "window/window_command_line.h"
#include "window/window_files.h"
#include "window/window_texts.h"

namespace {

namespace texts = fwu::window::texts;

constexpr int Failed = 1;
constexpr int UsageError = 2;

QString text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// The arguments after the program's name as UTF-8; Qt has taken its own options out of them.
std::vector<std::string> utf8Arguments() {
    std::vector<std::string> arguments;
    for (const QString& argument : QCoreApplication::arguments().mid(1))
        arguments.push_back(argument.toStdString());
    return arguments;
}

std::filesystem::path programFolder() {
    if (auto folder = fwu::platform::programFolder())
        return *folder;
    return std::filesystem::path(QCoreApplication::applicationDirPath().toStdU16String());
}

// Qt ends the program abruptly when it has no display to open. On X11 and Wayland systems a
// display is named by DISPLAY or WAYLAND_DISPLAY, unless QT_QPA_PLATFORM or -platform picks
// another kind of output.
bool displayNamed(int argc, char* argv[]) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0')
            return true;
    }
    for (int index = 1; index < argc; ++index) {
        if (std::string_view(argv[index]) == "-platform")
            return true;
    }
    return false;
#else
    (void)argc, (void)argv;
    return true;
#endif
}

// --help and --version are answered on standard output; false for any other request.
bool answeredOnTerminal(const fwu::window::StartRequest& request) {
    using Kind = fwu::window::StartRequest::Kind;
    if (request.kind == Kind::ShowHelp)
        std::cout << fwu::window::usageText() << '\n';
    else if (request.kind == Kind::ShowVersion)
        std::cout << fwu::window::versionText() << '\n';
    else
        return false;
    return true;
}

// Without a display the command line is still answered, on the terminal.
int startWithoutDisplay(int argc, char* argv[]) {
    const auto request =
        fwu::window::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (answeredOnTerminal(request))
        return 0;
    if (request.kind == fwu::window::StartRequest::Kind::Refuse) {
        std::cerr << request.problem << '\n';
        return UsageError;
    }
    std::cerr << "Firmware Update cannot show its window: no display is set (neither DISPLAY nor "
                 "WAYLAND_DISPLAY). Start it from a desktop session, or log in with X forwarding "
                 "(ssh -X); on the command line, firmware-update-cli does the same work.\n";
    return Failed;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!displayNamed(argc, argv))
        return startWithoutDisplay(argc, argv);
    QApplication application(argc, argv);
    QApplication::setApplicationName(text(texts::WindowTitle));
    QGuiApplication::setDesktopFileName(QStringLiteral("firmware-update"));
    QIcon icon;
    for (const int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/firmware-update-%1.png").arg(size));
    QApplication::setWindowIcon(icon);

    fwu::app::ModalMessagePresenter messages;
    const auto refuseToStart = [&messages](const std::string& problem) {
        messages.present(fwu::app::toQt(texts::startFailed(problem)), nullptr);
        return UsageError;
    };
    const auto request = fwu::window::parseCommandLine(utf8Arguments());
    if (answeredOnTerminal(request))
        return 0;
    if (request.kind == fwu::window::StartRequest::Kind::Refuse)
        return refuseToStart(request.problem);
    std::string problem;
    const auto files = fwu::window::windowFiles(request.folder, programFolder(), problem);
    const auto backend =
        files ? fwu::window::DeviceBackend::open(request.backend, *files, problem) : nullptr;
    if (!backend)
        return refuseToStart(problem);

    fwu::app::WindowOptions options;
    options.settings.operations.sleepGuard = &backend->sleepGuard();
    fwu::app::FrmMain window(backend->platform(), *files, messages, options);
    window.start();
    return QApplication::exec();
}
