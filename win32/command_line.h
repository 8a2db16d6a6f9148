#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "window/device_backend.h"

namespace fwu::win32 {

// What the window's command line asks for:
//   firmware-update.exe [--simulate] [--trace <file>] [--folder <folder>] [--help] [--version]
struct StartRequest {
    enum class Kind { Run, ShowHelp, ShowVersion, Refuse };
    Kind kind = Kind::Run;
    window::BackendChoice backend;
    std::optional<std::filesystem::path> folder;  // instead of the program's own
    std::string problem;                          // why the command line is refused
};

// `arguments`: the program's arguments as UTF-8, its own name left out.
StartRequest parseCommandLine(const std::vector<std::string>& arguments);

// The options and what they do, for the help box and after a refusal.
std::string usageText();
std::string versionText();

}  // namespace fwu::win32
