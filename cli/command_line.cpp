#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <sstream>

#include "command_line/strict_parsing.h"
#include "firmware/image_checksum.h"
#include "firmware/operations.h"
#include "firmware/program_files.h"
#include "platform/file_system.h"
#include "simulator/demo_setup.h"

namespace fwu::cli {

namespace {

struct Subcommand {
    std::string_view name;
    Command command;
    bool takesPath;
    std::optional<firmware::Operation> operation;
};

constexpr std::array<Subcommand, 8> Subcommands = {{
    {"list", Command::List, false, std::nullopt},
    {"update", Command::Update, true, firmware::Operation::Update},
    {"load", Command::Load, true, firmware::Operation::Download},
    {"upgrade", Command::Upgrade, true, firmware::Operation::Upgrade},
    {"dump", Command::Dump, true, firmware::Operation::Dump},
    {"verify", Command::Verify, true, firmware::Operation::Verify},
    {"erase", Command::Erase, false, firmware::Operation::EraseChip},
    {"bootloader", Command::Bootloader, false, firmware::Operation::EnterBootloader},
}};

const Subcommand* subcommandOf(Command command) {
    for (const Subcommand& subcommand : Subcommands) {
        if (subcommand.command == command)
            return &subcommand;
    }
    return nullptr;
}

constexpr double MaxSeconds = 24 * 60 * 60;

enum class ZeroSeconds { Refused, Allowed };

std::optional<std::chrono::milliseconds> parseSeconds(std::string_view text, ZeroSeconds zero) {
    double seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    const bool inRange = zero == ZeroSeconds::Allowed ? seconds >= 0 : seconds > 0;
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !inRange ||
        seconds > MaxSeconds) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(seconds * 1000)));
}

// Checks a number of seconds as CLI11 reads the option's value; the message follows the
// option's name.
CLI::Validator secondsCheck(ZeroSeconds zero) {
    return CLI::Validator(
        [zero](std::string& value) -> std::string {
            if (parseSeconds(value, zero))
                return {};
            return std::string("needs a number of seconds ") +
                   (zero == ZeroSeconds::Allowed ? "from 0" : "above 0") + " up to " +
                   std::to_string(static_cast<int>(MaxSeconds)) + ", got '" + value + "'";
        },
        "");
}

// Checks a SHA-256 as CLI11 reads the option's value; the message follows the option's name.
CLI::Validator sha256Check() {
    return CLI::Validator(
        [](std::string& value) -> std::string {
            if (firmware::parseSha256Hex(value))
                return {};
            return "needs the image's SHA-256 as 64 hexadecimal digits, got '" + value + "'";
        },
        "");
}

// The options and the commands as CLI11 reads them into `options`. Help is this program's own
// text, so CLI11's help option is off.
class Declaration {
  public:
    explicit Declaration(Options& options) : options_(options) {
        command_line::refuseLooseForms(app_);
        app_.set_help_flag();
        app_.fallthrough();  // the commands take every option, also after their name
        app_.add_flag("--help", help_);
        app_.add_flag("--version", version_);
        app_.add_flag("--simulate", options.simulate);
        app_.add_flag("--quiet", options.quiet);
        app_.add_option("--trace", traceText_)->type_name("FILE");
        app_.add_option("--timeout", timeoutText_)
            ->type_name("SECONDS")
            ->check(secondsCheck(ZeroSeconds::Refused));
        app_.add_option("--device", options.devicePaths)
            ->type_name("PATH")
            ->allow_extra_args(false);
        app_.add_option("--serial", options.serialNumbers)
            ->type_name("SERIAL")
            ->allow_extra_args(false);
        app_.add_flag("--all", options.all);
        // A flag that takes a value only after '=': a bare --wait never takes the next word.
        app_.add_flag("--wait{0}", waitText_)
            ->disable_flag_override(false)
            ->check(secondsCheck(ZeroSeconds::Allowed));
        app_.add_flag("--repeat", options.repeat);
        app_.add_flag("--verify", options.verifyAfterUpdate);
        app_.add_option("--sha256", sha256Text_)->type_name("HEX")->check(sha256Check());
        app_.add_flag("--json", options.json);
        app_.add_option("--log", logText_)->type_name("FILE");
        for (const Subcommand& subcommand : Subcommands) {
            CLI::App* command = app_.add_subcommand(std::string(subcommand.name));
            if (subcommand.takesPath)
                command->add_option("path", pathText_);
            commands_.push_back(command);
        }
        app_.allow_extras();  // words it does not know are told apart below
    }

    std::optional<std::string> parse(std::span<const std::string_view> arguments) {
        return command_line::parse(app_, arguments, operands_);
    }

    Request request() const {
        if (help_)
            return Request::ShowHelp;
        return version_ ? Request::ShowVersion : Request::Run;
    }

    // Takes the command and the texts into the options; returns what is wrong, if anything.
    std::optional<std::string> complete() {
        const Subcommand* chosen = nullptr;
        for (std::size_t index = 0; index < commands_.size(); ++index) {
            if (commands_[index]->parsed())
                chosen = &Subcommands[index];
        }
        if (auto problem =
                command_line::untakenWord(app_, chosen ? "unexpected argument" : "unknown command"))
            return problem;
        if (auto problem = takeOperands(chosen))
            return problem;
        if (!chosen)
            return "no command given";
        options_.command = chosen->command;
        if (pathText_) {
            if (pathText_->empty())
                return "an empty path is not a file";
            options_.path = platform::pathFromUtf8(*pathText_);
        }
        if (traceText_)
            options_.tracePath = platform::pathFromUtf8(*traceText_);
        if (logText_)
            options_.logPath = platform::pathFromUtf8(*logText_);
        if (timeoutText_)
            options_.upgradeTimeout = parseSeconds(*timeoutText_, ZeroSeconds::Refused);
        if (waitText_)
            options_.wait = parseSeconds(*waitText_, ZeroSeconds::Allowed);
        if (sha256Text_)
            options_.imageSha256 = firmware::parseSha256Hex(*sha256Text_);
        return combinationProblem();
    }

  private:
    // The words after "--" are the command, when none came before, and then its path.
    std::optional<std::string> takeOperands(const Subcommand*& chosen) {
        auto word = operands_.begin();
        if (!chosen && word != operands_.end()) {
            const auto named = std::find_if(Subcommands.begin(), Subcommands.end(),
                                            [&](const Subcommand& s) { return s.name == *word; });
            if (named == Subcommands.end())
                return "unknown command '" + *word + "'";
            chosen = &*named;
            ++word;
        }
        if (chosen && chosen->takesPath && !pathText_ && word != operands_.end())
            pathText_ = *word++;
        if (word != operands_.end())
            return "unexpected argument '" + *word + "'";
        return std::nullopt;
    }

    std::optional<std::string> combinationProblem() const {
        if (options_.verifyAfterUpdate && options_.command != Command::Update)
            return "--verify goes with update only (the verify command checks without updating)";
        if (options_.repeat && options_.command == Command::List)
            return "--repeat runs a command on each device that arrives; list is not one";
        if (options_.imageSha256 && !readsImage(options_.command))
            return "--sha256 goes with update, load, upgrade and verify, the commands that use an "
                   "image";
        return std::nullopt;
    }

    Options& options_;
    CLI::App app_{"", ProgramName};
    std::vector<CLI::App*> commands_;
    std::vector<std::string> operands_;
    bool help_ = false;
    bool version_ = false;
    std::optional<std::string> pathText_;
    std::optional<std::string> traceText_;
    std::optional<std::string> logText_;
    std::optional<std::string> timeoutText_;
    std::optional<std::string> waitText_;
    std::optional<std::string> sha256Text_;
};

}  // namespace

std::string_view commandName(Command command) {
    const Subcommand* subcommand = subcommandOf(command);
    return subcommand ? subcommand->name : std::string_view();
}

std::optional<firmware::Operation> operationOf(Command command) {
    const Subcommand* subcommand = subcommandOf(command);
    return subcommand ? subcommand->operation : std::nullopt;
}

bool readsImage(Command command) {
    const std::optional<firmware::Operation> operation = operationOf(command);
    const auto file = operation ? firmware::factsOf(*operation).file : std::nullopt;
    return file == firmware::ProgramFile::UpdateImage ||
           file == firmware::ProgramFile::DownloadImage;
}

ParsedCommandLine parseCommandLine(std::span<const std::string_view> arguments) {
    ParsedCommandLine result;
    Declaration declaration(result.options);
    if (auto problem = declaration.parse(arguments)) {
        result.error = *problem;
        return result;
    }
    result.request = declaration.request();
    if (result.request == Request::Run) {
        if (auto problem = declaration.complete())
            result.error = *problem;
    }
    return result;
}

std::string versionText() {
    return std::string(ProgramName) + " " + FWU_VERSION_TEXT + "\n";
}

std::string helpText() {
    using simulator::SimulationVariable;
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
         << "                    product, serial number, and 'in use by ...' while another\n"
         << "                    program holds the device\n"
         << "  update [IMAGE]    write a firmware image into a device in application mode\n"
         << "                    (default " << firmware::UpdateImageName << ")\n"
         << "  load [IMAGE]      load a bootloader-mode image into a device in bootloader mode\n"
         << "                    (default " << firmware::DownloadImageName << ")\n"
         << "  upgrade [IMAGE]   restart the device in its bootloader, wait for it, then load\n"
         << "                    the image as `load` does (default " << firmware::DownloadImageName
         << ")\n"
         << "  dump [FILE]       read the device's flash into FILE (default "
         << firmware::DumpFileName << "); an\n"
         << "                    earlier FILE is replaced only by a complete dump; with --all\n"
         << "                    or --repeat each device has a FILE of its own, named with its\n"
         << "                    serial number\n"
         << "  verify [IMAGE]    read back as much of the flash as IMAGE covers and compare it\n"
         << "                    with IMAGE as `update` writes it (default "
         << firmware::UpdateImageName << "); the flash\n"
         << "                    is taken to read back from the address where the update\n"
         << "                    starts writing, as the devices of the family do\n"
         << "  erase             send the erase command\n"
         << "  bootloader        send the bootloader-entry command\n"
         << "The default files are those in the program's own folder. `load` needs a device\n"
         << "in bootloader mode, `upgrade` either, the other commands that send anything\n"
         << "application mode: a device in the other mode is refused with nothing sent\n"
         << "(exit status 1), an image larger than the flash likewise (exit status 4).\n"
         << "\n"
         << "Choosing the devices:\n"
         << "  --device PATH     the device at PATH, as `list` shows it\n"
         << "  --serial SERIAL   the device with this serial number\n"
         << "                    Both may be given more than once. With several supported\n"
         << "                    devices present and none chosen, every command but `list`\n"
         << "                    refuses and lists them (exit status 2).\n"
         << "  --all             run the command on every supported device present, or every\n"
         << "                    chosen one, all at once; a summary ends it, one line per device\n"
         << "\n"
         << "Production line:\n"
         << "  --wait[=SECONDS]  wait for a supported (chosen) device to arrive before the\n"
         << "                    command runs; without SECONDS, or 0, until Ctrl-C. A device\n"
         << "                    there that cannot be opened ends it (exit status 3)\n"
         << "  --repeat          the station loop: wait for a device, run the command on it,\n"
         << "                    report, wait until it has left, and again, until Ctrl-C; each\n"
         << "                    arrival once (with --all, every one that is there at\n"
         << "                    once). With --wait=SECONDS it also ends when no device arrives\n"
         << "                    for that long. Exit status: 0 when every device succeeded,\n"
         << "                    1 when one did not, 3 when none came\n"
         << "  --verify          with update: verify the device right after the update (the\n"
         << "                    very device written)\n"
         << "  --sha256 HEX      with update, load, upgrade and verify: use the image only when\n"
         << "                    its SHA-256 is HEX (64 hexadecimal digits); otherwise nothing\n"
         << "                    is sent (exit status 4). A checksum file IMAGE.sha256 beside\n"
         << "                    the image, as sha256sum writes it, is checked whenever it is\n"
         << "                    there, with or without this option\n"
         << "  --json            the results as JSON, one object per line, per device and\n"
         << "                    command, on standard output, and nothing else there\n"
         << "  --log FILE        append the same JSON lines to FILE; several programs may\n"
         << "                    append to one FILE at once\n"
         << "\n"
         << "Other options:\n"
         << "  --simulate        use a simulated device instead of the real ones\n"
         << "  --trace FILE      write every report in both directions to FILE, one line each:\n"
         << "                    '>' host to device or '<' device to host, the length, the\n"
         << "                    bytes in hex, and 'failed' after a transfer that failed; with\n"
         << "                    --all each line starts with the device's path\n"
         << "  --timeout SECONDS how long `upgrade` waits for the device to come back in\n"
         << "                    bootloader mode (default " << defaultTimeout.count() << ")\n"
         << "  --quiet           no progress and no success messages; errors are still shown\n"
         << "  --help            show this help and exit\n"
         << "  --version         show the version and exit\n"
         << "\n"
         << "Progress goes to standard error, results to standard output. Ctrl-C stops an\n"
         << "operation (with --all every one) at its next report and nothing more is sent; a\n"
         << "second Ctrl-C ends the program at once. SIGTERM and SIGHUP stop it as Ctrl-C\n"
         << "does. After -- every word is an argument. A device that another program of ours\n"
         << "holds is left alone: nothing is sent to it and its outcome is 'busy'.\n"
         << "\n"
         << "Exit status:\n"
         << "  0  success (with --all: on every device)\n"
         << "  1  the operation failed: the device refused, did not answer, did not come\n"
         << "     back, did not match the image, was in the other mode or in use by another\n"
         << "     program, or the operation was cancelled (the message says which); with\n"
         << "     --all: on at least one device\n"
         << "  2  bad usage: the command line or " << SimulationVariable << ", or several\n"
         << "     devices present and none chosen\n"
         << "  3  no supported device found (with --wait: none arrived in time, or the one\n"
         << "     there cannot be opened)\n"
         << "  4  an image, the dump file, the trace file or the log file cannot be used,\n"
         << "     standard output could not be written, or the image's SHA-256 is not the\n"
         << "     one given (--sha256, IMAGE.sha256)\n"
         << "\n"
         << "The simulated device of --simulate is one device in application mode taking\n"
         << "about 1 ms per transfer. " << SimulationVariable << " changes it: items\n"
         << "key=value separated by ';'. Keys:\n"
         << simulator::demoSettingsHelp();
    return help.str();
}

}  // namespace fwu::cli
