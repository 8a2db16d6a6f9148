#include "window/window_files.h"

#include <system_error>

#include "window/window_texts.h"

namespace fwu::window {

std::optional<firmware::ProgramFiles> windowFiles(
    const std::optional<std::filesystem::path>& givenFolder,
    const std::filesystem::path& programFolder, std::string& problem) {
    if (!givenFolder)
        return firmware::ProgramFiles{programFolder};
    std::error_code error;
    if (!std::filesystem::is_directory(*givenFolder, error)) {
        problem = texts::folderNotFound(*givenFolder);
        return std::nullopt;
    }
    return firmware::ProgramFiles::inGivenFolder(*givenFolder);
}

}  // namespace fwu::window
