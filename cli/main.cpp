#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/application.h"

#ifdef _WIN32
#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "platform/windows/process_text.h"
#include "platform/windows/windows_api.h"
#endif

int main([[maybe_unused]] int argc, [[maybe_unused]] char** argv) {
#ifdef _WIN32
    if (const auto problem = fwu::platform::windows::loadSystemLibraries()) {
        std::cerr << fwu::cli::ProgramName << ": " << *problem << "\n";
        return static_cast<int>(fwu::cli::ExitStatus::OperationFailed);
    }
    // The narrow arguments went through the ANSI code page; the UTF-16 ones are whole.
    const fwu::platform::windows::Utf8ConsoleOutput console;
    const std::vector<std::string> texts = fwu::platform::windows::utf8Arguments();
#else
    const std::vector<std::string> texts(argv + (argc > 0 ? 1 : 0), argv + argc);
#endif
    const std::vector<std::string_view> arguments(texts.begin(), texts.end());
    return fwu::cli::run(arguments, fwu::cli::processEnvironment());
}
