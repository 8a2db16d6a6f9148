#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/operations.h"
#include "platform/sha256.h"

namespace fwu::cli {

inline constexpr const char* ProgramName = "firmware-update-cli";

enum class Command { List, Update, Load, Upgrade, Dump, Verify, Erase, Bootloader };

// The command's name as it is typed.
std::string_view commandName(Command command);
// The operation the command runs on a device; none for `list`.
std::optional<firmware::Operation> operationOf(Command command);
// The command sends an image or compares the flash with one (update, load, upgrade, verify).
bool readsImage(Command command);

struct Options {
    Command command = Command::List;
    // The IMAGE or FILE argument; without it the file of the program folder is used.
    std::optional<std::filesystem::path> path;
    bool simulate = false;
    std::optional<std::filesystem::path> tracePath;
    std::optional<std::chrono::milliseconds> upgradeTimeout;
    bool quiet = false;

    // The devices chosen by path and by serial number; none chosen: every supported one.
    std::vector<std::string> devicePaths;
    std::vector<std::string> serialNumbers;
    bool all = false;  // the command on every chosen device at once

    // Set: wait for a device to arrive first, at most this long; zero: without a limit.
    std::optional<std::chrono::milliseconds> wait;
    bool repeat = false;                                // the station loop
    bool verifyAfterUpdate = false;                     // update --verify
    std::optional<platform::Sha256Digest> imageSha256;  // --sha256: the image must have it
    bool json = false;                                  // results as JSON lines on standard output
    std::optional<std::filesystem::path> logPath;       // the same lines appended to this file

    bool devicesChosen() const { return !devicePaths.empty() || !serialNumbers.empty(); }
};

enum class Request { Run, ShowHelp, ShowVersion };

struct ParsedCommandLine {
    Request request = Request::Run;
    Options options;
    std::string error;  // set when the command line is not usable
};

// Parses the arguments after the program name (UTF-8). Options may come before or after the
// command; "--" ends the options.
ParsedCommandLine parseCommandLine(std::span<const std::string_view> arguments);

std::string helpText();
std::string versionText();

}  // namespace fwu::cli
