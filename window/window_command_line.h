#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "window/device_backend.h"

namespace fwu::window {

// What the window's command line asks for, the same in both windows:
//   firmware-update [--simulate] [--trace FILE] [--folder FOLDER] [--help] [--version]
// A value follows its option as the next word or after '='.
struct StartRequest {
    enum class Kind { Run, ShowHelp, ShowVersion, Refuse };
    Kind kind = Kind::Run;
    BackendChoice backend;
    std::optional<std::filesystem::path> folder;  // instead of the program's own
    std::string problem;                          // Refuse: what is wrong, then the usage text
};

// `arguments`: the program's arguments as UTF-8, its own name left out.
StartRequest parseCommandLine(std::span<const std::string> arguments);

// The options and what they do, for --help and after a refusal; the version, for --version.
std::string usageText();
std::string versionText();

}  // namespace fwu::window
