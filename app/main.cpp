#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/frm_main.h"
#include "app/message_presenter.h"
#include "firmware/program_files.h"
#include "platform/file_system.h"
#include "window/device_backend.h"
#include "window/window_files.h"
#include "window/window_texts.h"

namespace {

namespace texts = fwu::window::texts;

constexpr int UsageError = 2;

QString text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

struct StartOptions {
    fwu::window::BackendChoice backend;
    std::optional<std::filesystem::path> folder;
};

// --help and --version end the program here, as does an option it does not know.
StartOptions parseOptions(const QApplication& application) {
    QCommandLineParser parser;
    parser.setApplicationDescription(text(texts::ProgramDescription));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      text(texts::simulateOptionHelp()));
    const QCommandLineOption trace(QStringLiteral("trace"), text(texts::TraceOptionHelp),
                                   QStringLiteral("file"));
    const QCommandLineOption folder(QStringLiteral("folder"), text(texts::folderOptionHelp()),
                                    QStringLiteral("folder"));
    parser.addOption(simulate);
    parser.addOption(trace);
    parser.addOption(folder);
    parser.process(application);

    StartOptions options;
    options.backend.simulate = parser.isSet(simulate);
    if (parser.isSet(trace))
        options.backend.traceFile = std::filesystem::path(parser.value(trace).toStdU16String());
    if (parser.isSet(folder))
        options.folder = std::filesystem::path(parser.value(folder).toStdU16String());
    return options;
}

std::filesystem::path programFolder() {
    if (auto folder = fwu::platform::programFolder())
        return *folder;
    return std::filesystem::path(QCoreApplication::applicationDirPath().toStdU16String());
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(text(texts::WindowTitle));
    QApplication::setApplicationVersion(QStringLiteral(FWU_VERSION_TEXT));
    QGuiApplication::setDesktopFileName(QStringLiteral("firmware-update"));
    QIcon icon;
    for (const int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/firmware-update-%1.png").arg(size));
    QApplication::setWindowIcon(icon);

    fwu::app::ModalMessagePresenter messages;
    const StartOptions options = parseOptions(application);
    std::string problem;
    const auto files = fwu::window::windowFiles(options.folder, programFolder(), problem);
    const auto backend =
        files ? fwu::window::DeviceBackend::open(options.backend, problem) : nullptr;
    if (!backend) {
        messages.present(fwu::app::toQt(texts::startFailed(problem)), nullptr);
        return UsageError;
    }

    fwu::app::FrmMain window(backend->platform(), *files, messages);
    window.start();
    return QApplication::exec();
}
