#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "firmware/program_files.h"

namespace fwu::window {

// The files the window works with: those in the folder given with --folder, or else those in
// the program's own folder. Nothing, with `problem` set to what the person must be told, when
// the given folder is not there.
std::optional<firmware::ProgramFiles> windowFiles(
    const std::optional<std::filesystem::path>& givenFolder,
    const std::filesystem::path& programFolder, std::string& problem);

}  // namespace fwu::window
