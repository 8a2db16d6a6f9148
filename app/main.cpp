#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <filesystem>
#include <memory>

#include "app/frm_main.h"
#include "app/message_presenter.h"
#include "firmware/program_files.h"
#include "platform/file_system.h"
#include "window/device_backend.h"
#include "window/window_texts.h"

namespace {

namespace texts = fwu::window::texts;

constexpr int UsageError = 2;

QString text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// --help and --version end the program here, as does an option it does not know.
fwu::window::BackendChoice parseOptions(const QApplication& application) {
    QCommandLineParser parser;
    parser.setApplicationDescription(text(texts::ProgramDescription));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      text(texts::simulateOptionHelp()));
    const QCommandLineOption trace(QStringLiteral("trace"), text(texts::TraceOptionHelp),
                                   QStringLiteral("file"));
    parser.addOption(simulate);
    parser.addOption(trace);
    parser.process(application);

    fwu::window::BackendChoice choice;
    choice.simulate = parser.isSet(simulate);
    if (parser.isSet(trace))
        choice.traceFile = std::filesystem::path(parser.value(trace).toStdU16String());
    return choice;
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
    std::string problem;
    const auto backend = fwu::window::DeviceBackend::open(parseOptions(application), problem);
    if (!backend) {
        messages.present(fwu::app::toQt(texts::startFailed(problem)), nullptr);
        return UsageError;
    }

    fwu::app::FrmMain window(backend->platform(), fwu::firmware::ProgramFiles{programFolder()},
                             messages);
    window.start();
    return QApplication::exec();
}
