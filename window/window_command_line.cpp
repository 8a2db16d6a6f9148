#include "window/window_command_line.h"

#include <string_view>
#include <vector>

#include "command_line/strict_parsing.h"
#include "platform/file_system.h"
#include "window/window_texts.h"

namespace fwu::window {
namespace {

constexpr const char* ProgramName = "firmware-update";

// An option as it is typed: its names, and its value's name when it takes one.
std::string spelling(const CLI::Option& option) {
    std::string text = option.get_name(false, true);  // "-h,--help"
    for (auto comma = text.find(','); comma != std::string::npos; comma = text.find(',', comma + 2))
        text.insert(comma + 1, " ");
    if (option.get_items_expected_max() > 0)
        text += " " + option.get_type_name();
    return text;
}

// The window's options as CLI11 reads them, with the texts that --help shows for them. Help is
// the window's own text, so CLI11's help option is off.
class Declaration {
  public:
    Declaration() {
        command_line::refuseLooseForms(app_);
        app_.set_help_flag();
        app_.add_flag("--simulate", simulate_, texts::simulateOptionHelp());
        app_.add_option("--trace", trace_, std::string(texts::TraceOptionHelp))
            ->type_name("<file>");
        app_.add_option("--folder", folder_, texts::folderOptionHelp())->type_name("<folder>");
        app_.add_flag("-h,--help", help_, std::string(texts::HelpOptionHelp));
        app_.add_flag("-v,--version", version_, std::string(texts::VersionOptionHelp));
        app_.allow_extras();  // the words it does not know are told apart below
    }

    StartRequest request(std::span<const std::string> arguments) {
        const std::vector<std::string_view> words(arguments.begin(), arguments.end());
        std::vector<std::string> operands;
        auto problem = command_line::parse(app_, words, operands);
        if (!problem)
            problem = command_line::untakenWord(app_, "unexpected argument");
        if (!problem && !operands.empty())
            problem = "unexpected argument '" + operands.front() + "'";
        StartRequest request;
        if (problem) {
            request.kind = StartRequest::Kind::Refuse;
            request.problem = texts::commandLineRefused(*problem) + "\n\n" + usage();
            return request;
        }
        if (help_)
            request.kind = StartRequest::Kind::ShowHelp;
        else if (version_)
            request.kind = StartRequest::Kind::ShowVersion;
        request.backend.simulate = simulate_;
        if (trace_)
            request.backend.traceFile = platform::pathFromUtf8(*trace_);
        if (folder_)
            request.folder = platform::pathFromUtf8(*folder_);
        return request;
    }

    // Each option as it is typed, with its value's name, and what it does.
    std::string usage() const {
        std::string text = std::string("Usage: ") + ProgramName + " [options]\n\n" +
                           std::string(texts::ProgramDescription);
        for (const CLI::Option* option : app_.get_options())
            text += "\n\n" + spelling(*option) + "\n" + option->get_description();
        return text;
    }

  private:
    CLI::App app_{"", ProgramName};
    bool simulate_ = false;
    bool help_ = false;
    bool version_ = false;
    std::optional<std::string> trace_;
    std::optional<std::string> folder_;
};

}  // namespace

StartRequest parseCommandLine(std::span<const std::string> arguments) {
    return Declaration().request(arguments);
}

std::string usageText() {
    return Declaration().usage();
}

std::string versionText() {
    return std::string(texts::WindowTitle) + " " + FWU_VERSION_TEXT;
}

}  // namespace fwu::window
