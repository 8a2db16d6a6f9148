#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace fwu::cli {

inline constexpr const char* ProgramName = "firmware-update-cli";

enum class Command { List, Update, Load, Upgrade, Dump, Erase, Bootloader };

struct Options {
    Command command = Command::List;
    // The IMAGE or FILE argument; without it the file of the program folder is used.
    std::optional<std::filesystem::path> path;
    bool simulate = false;
    std::optional<std::filesystem::path> tracePath;
    std::optional<std::chrono::milliseconds> upgradeTimeout;
    bool quiet = false;
};

enum class Request { Run, ShowHelp, ShowVersion };

struct ParsedCommandLine {
    Request request = Request::Run;
    Options options;
    std::string error;  // set when the command line is not usable
};

// Parses the arguments after the program name. Options may come before or after the
// subcommand; "--" ends the options.
ParsedCommandLine parseCommandLine(std::span<const std::string_view> arguments);

std::string helpText();
std::string versionText();

}  // namespace fwu::cli
