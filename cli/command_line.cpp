#include "cli/command_line.h"

#include <array>
#include <charconv>
#include <cmath>
#include <sstream>

#include "firmware/operations.h"
#include "firmware/program_files.h"
#include "platform/file_system.h"
#include "platform/simulated/demo_setup.h"

namespace fwu::cli {

namespace {

enum class PathArgument { None, Optional };

struct Subcommand {
    std::string_view name;
    Command command;
    PathArgument path;
};

constexpr std::array<Subcommand, 7> Subcommands = {{
    {"list", Command::List, PathArgument::None},
    {"update", Command::Update, PathArgument::Optional},
    {"load", Command::Load, PathArgument::Optional},
    {"upgrade", Command::Upgrade, PathArgument::Optional},
    {"dump", Command::Dump, PathArgument::Optional},
    {"erase", Command::Erase, PathArgument::None},
    {"bootloader", Command::Bootloader, PathArgument::None},
}};

constexpr double MaxTimeoutSeconds = 24 * 60 * 60;

const Subcommand* findSubcommand(std::string_view name) {
    for (const auto& subcommand : Subcommands) {
        if (subcommand.name == name)
            return &subcommand;
    }
    return nullptr;
}

std::optional<std::chrono::milliseconds> parseTimeout(std::string_view text) {
    double seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !(seconds > 0) || seconds > MaxTimeoutSeconds) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(seconds * 1000)));
}

// Walks the arguments once; each step consumes one argument, or two for an option with a value.
class Parser {
  public:
    explicit Parser(std::span<const std::string_view> arguments) : arguments_(arguments) {}

    ParsedCommandLine parse() {
        while (next_ < arguments_.size() && result_.error.empty() &&
               result_.request == Request::Run) {
            take(arguments_[next_++]);
        }
        if (result_.error.empty() && result_.request == Request::Run && subcommand_ == nullptr)
            fail("no command given");
        return result_;
    }

  private:
    void take(std::string_view argument) {
        if (!optionsEnded_ && argument == "--") {
            optionsEnded_ = true;
        } else if (!optionsEnded_ && argument.size() > 1 && argument.front() == '-') {
            takeOption(argument);
        } else {
            takeOperand(argument);
        }
    }

    void takeOption(std::string_view argument) {
        const std::size_t equals = argument.find('=');
        const std::string_view name = argument.substr(0, equals);
        const std::optional<std::string_view> inlineValue =
            equals == std::string_view::npos ? std::nullopt
                                             : std::optional(argument.substr(equals + 1));
        if (name == "--help") {
            result_.request = Request::ShowHelp;
        } else if (name == "--version") {
            result_.request = Request::ShowVersion;
        } else if (name == "--simulate" || name == "--quiet") {
            if (inlineValue)
                return fail("option " + std::string(name) + " takes no value");
            (name == "--simulate" ? result_.options.simulate : result_.options.quiet) = true;
        } else if (name == "--trace") {
            if (const auto value = optionValue(name, inlineValue))
                result_.options.tracePath = platform::pathFromUtf8(*value);
        } else if (name == "--timeout") {
            if (const auto value = optionValue(name, inlineValue)) {
                result_.options.upgradeTimeout = parseTimeout(*value);
                if (!result_.options.upgradeTimeout)
                    fail("--timeout needs a number of seconds above 0, got '" +
                         std::string(*value) + "'");
            }
        } else {
            fail("unknown option '" + std::string(argument) + "'");
        }
    }

    std::optional<std::string_view> optionValue(std::string_view name,
                                                std::optional<std::string_view> inlineValue) {
        if (inlineValue && !inlineValue->empty())
            return inlineValue;
        if (!inlineValue && next_ < arguments_.size())
            return arguments_[next_++];
        fail("option " + std::string(name) + " needs a value");
        return std::nullopt;
    }

    void takeOperand(std::string_view argument) {
        if (subcommand_ == nullptr) {
            subcommand_ = findSubcommand(argument);
            if (subcommand_ == nullptr)
                return fail("unknown command '" + std::string(argument) + "'");
            result_.options.command = subcommand_->command;
        } else if (subcommand_->path == PathArgument::Optional && !result_.options.path) {
            if (argument.empty())
                return fail("an empty path is not a file");
            result_.options.path = platform::pathFromUtf8(argument);
        } else {
            fail("unexpected argument '" + std::string(argument) + "'");
        }
    }

    void fail(std::string message) { result_.error = std::move(message); }

    std::span<const std::string_view> arguments_;
    std::size_t next_ = 0;
    bool optionsEnded_ = false;
    const Subcommand* subcommand_ = nullptr;
    ParsedCommandLine result_;
};

}  // namespace

ParsedCommandLine parseCommandLine(std::span<const std::string_view> arguments) {
    return Parser(arguments).parse();
}

std::string versionText() {
    return std::string(ProgramName) + " " + FWU_VERSION_TEXT + "\n";
}

std::string helpText() {
    using platform::simulated::SimulationVariable;
    const auto defaultTimeout = std::chrono::duration_cast<std::chrono::seconds>(
        firmware::OperationSettings{}.upgradeWaitLimit);
    std::ostringstream help;
    help << "Usage: " << ProgramName << " [OPTIONS] COMMAND [PATH]\n"
         << "\n"
         << "Updates, reads and services the supported USB HID devices without a window.\n"
         << "\n"
         << "Commands:\n"
         << "  list              every supported device, one line each, fields separated by\n"
         << "                    tabs: path, mode, vendor:product ID, version, manufacturer,\n"
         << "                    product, serial number\n"
         << "  update [IMAGE]    write a firmware image into the device (default "
         << firmware::UpdateImageName << ")\n"
         << "  load [IMAGE]      load a bootloader-mode image into a device in bootloader mode\n"
         << "                    (default " << firmware::DownloadImageName << ")\n"
         << "  upgrade [IMAGE]   restart the device in its bootloader, wait for it, then load\n"
         << "                    the image as `load` does (default " << firmware::DownloadImageName
         << ")\n"
         << "  dump [FILE]       read the device's flash into FILE (default "
         << firmware::DumpFileName << "); an\n"
         << "                    earlier FILE is replaced only by a complete dump\n"
         << "  erase             send the erase command\n"
         << "  bootloader        send the bootloader-entry command\n"
         << "The default files are those in the program's own folder.\n"
         << "\n"
         << "Options:\n"
         << "  --simulate        use a simulated device instead of the real ones\n"
         << "  --trace FILE      write every report in both directions to FILE, one line each:\n"
         << "                    '>' host to device or '<' device to host, the length, the\n"
         << "                    bytes in hex, and 'failed' after a transfer that failed\n"
         << "  --timeout SECONDS how long `upgrade` waits for the device to come back in\n"
         << "                    bootloader mode (default " << defaultTimeout.count() << ")\n"
         << "  --quiet           no progress and no success messages; errors are still shown\n"
         << "  --help            show this help and exit\n"
         << "  --version         show the version and exit\n"
         << "\n"
         << "Progress goes to standard error, results to standard output. Ctrl-C stops an\n"
         << "operation at its next report and nothing more is sent; a second Ctrl-C ends the\n"
         << "program at once.\n"
         << "\n"
         << "Exit status:\n"
         << "  0  success\n"
         << "  1  the operation failed: the device refused, did not answer, did not come\n"
         << "     back, or the operation was cancelled (the message says which)\n"
         << "  2  bad usage: the command line or " << SimulationVariable << "\n"
         << "  3  no supported device found\n"
         << "  4  an image, the dump file or the trace file cannot be used\n"
         << "\n"
         << "The simulated device of --simulate is one device in application mode taking\n"
         << "about 1 ms per transfer. " << SimulationVariable << " changes it: items\n"
         << "key=value separated by ';'. Keys:\n"
         << platform::simulated::demoSettingsHelp();
    return help.str();
}

}  // namespace fwu::cli
