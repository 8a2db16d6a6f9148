#include "win32/command_line.h"

#include "platform/file_system.h"
#include "window/window_texts.h"

namespace fwu::win32 {
namespace {

StartRequest refused(std::string problem) {
    StartRequest request;
    request.kind = StartRequest::Kind::Refuse;
    request.problem = std::move(problem) + "\n\n" + usageText();
    return request;
}

}  // namespace

StartRequest parseCommandLine(const std::vector<std::string>& arguments) {
    StartRequest request;
    for (auto argument = arguments.begin(); argument != arguments.end(); ++argument) {
        if (*argument == "--simulate") {
            request.backend.simulate = true;
        } else if (*argument == "--trace") {
            if (++argument == arguments.end())
                return refused("--trace needs the file to write the reports to.");
            request.backend.traceFile = platform::pathFromUtf8(*argument);
        } else if (*argument == "--folder") {
            if (++argument == arguments.end())
                return refused("--folder needs the folder that holds the image files.");
            request.folder = platform::pathFromUtf8(*argument);
        } else if (*argument == "--help" || *argument == "-h" || *argument == "/?") {
            request.kind = StartRequest::Kind::ShowHelp;
        } else if (*argument == "--version") {
            request.kind = StartRequest::Kind::ShowVersion;
        } else {
            return refused("Unknown option: " + *argument);
        }
    }
    return request;
}

std::string usageText() {
    return "Usage: firmware-update.exe [--simulate] [--trace <file>] [--folder <folder>]\n\n" +
           std::string(window::texts::ProgramDescription) + "\n\n--simulate\n" +
           window::texts::simulateOptionHelp() + "\n\n--trace <file>\n" +
           std::string(window::texts::TraceOptionHelp) + "\n\n--folder <folder>\n" +
           window::texts::folderOptionHelp();
}

std::string versionText() {
    return std::string(window::texts::WindowTitle) + " " + FWU_VERSION_TEXT;
}

}  // namespace fwu::win32
