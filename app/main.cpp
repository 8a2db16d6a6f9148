#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QMessageBox>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "app/frm_main.h"
#include "app/message_presenter.h"
#include "app/window_texts.h"
#include "firmware/program_files.h"
#include "platform/file_system.h"
#include "platform/hid_platform.h"
#include "platform/simulated/demo_setup.h"
#include "platform/tracing_platform.h"

namespace {

constexpr int UsageError = 2;

struct Options {
    bool simulate = false;
    std::optional<QString> traceFile;
};

void showStartError(const QString& text) {
    fwu::app::ModalMessagePresenter().present(
        {QMessageBox::Critical, QString::fromLatin1(fwu::app::texts::WindowTitle), text,
         QMessageBox::Ok, QMessageBox::Ok},
        nullptr);
}

// --help and --version end the program here, as does an option it does not know.
Options parseOptions(const QApplication& application) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Updates the firmware of a connected device."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral("Work with a simulated device instead of the USB devices present. The "
                       "environment variable %1 adjusts it.")
            .arg(QString::fromLatin1(fwu::platform::simulated::SimulationVariable)));
    const QCommandLineOption trace(
        QStringLiteral("trace"),
        QStringLiteral("Write every report to and from the device to <file>, one line each."),
        QStringLiteral("file"));
    parser.addOption(simulate);
    parser.addOption(trace);
    parser.process(application);

    Options options;
    options.simulate = parser.isSet(simulate);
    if (parser.isSet(trace))
        options.traceFile = parser.value(trace);
    return options;
}

std::unique_ptr<fwu::platform::HidPlatform> makePlatform(const Options& options) {
    if (!options.simulate)
        return fwu::platform::makeSystemPlatform();
    const auto settings = fwu::platform::simulated::demoSettingsFromEnvironment();
    if (!settings.settings) {
        showStartError(
            QStringLiteral("The simulated device cannot be set up: %1\n\n%2 accepts:\n%3")
                .arg(QString::fromStdString(settings.error),
                     QString::fromLatin1(fwu::platform::simulated::SimulationVariable),
                     QString::fromStdString(fwu::platform::simulated::demoSettingsHelp())));
        return nullptr;
    }
    return fwu::platform::simulated::makeDemoBus(*settings.settings);
}

std::filesystem::path programFolder() {
    if (auto folder = fwu::platform::programFolder())
        return *folder;
    return std::filesystem::path(QCoreApplication::applicationDirPath().toStdU16String());
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Firmware Update"));
    QApplication::setApplicationVersion(QStringLiteral(FWU_VERSION_TEXT));
    QGuiApplication::setDesktopFileName(QStringLiteral("firmware-update"));
    QIcon icon;
    for (const int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/firmware-update-%1.png").arg(size));
    QApplication::setWindowIcon(icon);

    const Options options = parseOptions(application);
    const auto backend = makePlatform(options);
    if (!backend)
        return UsageError;
    fwu::platform::HidPlatform* platform = backend.get();

    std::ofstream traceStream;
    std::optional<fwu::platform::TracingPlatform> tracing;
    if (options.traceFile) {
        const std::filesystem::path tracePath(options.traceFile->toStdU16String());
        traceStream.open(tracePath, std::ios::out | std::ios::trunc);
        if (!traceStream) {
            showStartError(QStringLiteral("The trace file %1 cannot be written. Choose a file in "
                                          "a folder you may write to.")
                               .arg(*options.traceFile));
            return UsageError;
        }
        tracing.emplace(*platform, traceStream);
        platform = &*tracing;
    }

    fwu::app::ModalMessagePresenter messages;
    fwu::app::FrmMain window(*platform, fwu::firmware::ProgramFiles{programFolder()}, messages);
    window.start();
    return QApplication::exec();
}
