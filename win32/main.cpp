// firmware-update.exe: the program's window on Windows.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <commctrl.h>

#include <exception>
#include <filesystem>

#include "platform/file_system.h"
#include "platform/windows/process_text.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"
#include "win32/form_window.h"
#include "win32/message_boxes.h"
#include "win32/message_loop.h"
#include "window/window_command_line.h"
#include "window/window_files.h"
#include "window/window_texts.h"

namespace {

namespace texts = fwu::window::texts;

constexpr int StartFailed = 2;

void showInformation(const std::string& text) {
    MessageBoxW(nullptr, fwu::platform::windows::toUtf16(text).c_str(),
                fwu::platform::windows::toUtf16(texts::WindowTitle).c_str(),
                MB_OK | MB_ICONINFORMATION);
}

int refuseToStart(const std::string& problem) {
    fwu::win32::showMessageBox(nullptr, texts::startFailed(problem));
    return StartFailed;
}

int run(const fwu::window::StartRequest& request) {
    std::string problem;
    const auto folder = fwu::platform::programFolder();
    if (!folder)
        return refuseToStart("The folder of the program cannot be found (Windows error " +
                             std::to_string(GetLastError()) + ").");
    const auto files = fwu::window::windowFiles(request.folder, *folder, problem);
    if (!files)
        return refuseToStart(problem);
    const auto backend = fwu::window::DeviceBackend::open(request.backend, *files, problem);
    if (!backend)
        return refuseToStart(problem);
    fwu::window::WindowSettings settings;
    settings.operations.sleepGuard = &backend->sleepGuard();
    fwu::win32::FormWindow window(backend->platform(), *files, settings);
    window.start();
    return fwu::win32::runMessageLoop(window.handle());
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (const auto problem = fwu::platform::windows::loadSystemLibraries())
        return refuseToStart(*problem);
    // The system's current controls, as the manifest asks for them.
    const INITCOMMONCONTROLSEX commonControls{sizeof commonControls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&commonControls);

    using Kind = fwu::window::StartRequest::Kind;
    const auto request = fwu::window::parseCommandLine(fwu::platform::windows::utf8Arguments());
    switch (request.kind) {
        case Kind::ShowHelp:
            showInformation(fwu::window::usageText());
            return 0;
        case Kind::ShowVersion:
            showInformation(fwu::window::versionText());
            return 0;
        case Kind::Refuse:
            return refuseToStart(request.problem);
        case Kind::Run:
            break;
    }
    try {
        return run(request);
    } catch (const std::exception& error) {
        return refuseToStart(error.what());
    }
}
