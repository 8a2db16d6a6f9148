#include "command_line/strict_parsing.h"

#include <algorithm>
#include <vector>

namespace fwu::command_line {
namespace {

bool takesNoValue(const CLI::Option& option) {
    return option.get_items_expected_max() == 0 && option.get_disable_flag_override();
}

// CLI11 takes "--trace= update" as "--trace update": an '=' with nothing after it is refused
// here, before it parses. A value given to a flag is refused here too: CLI11 would refuse it
// (refuseLooseForms), but naming the option without its dashes. Options CLI11 does not know are
// left to it.
std::optional<std::string> misplacedValue(const CLI::App& app,
                                          std::span<const std::string_view> arguments) {
    for (const std::string_view argument : arguments) {
        const std::size_t equals = argument.find('=');
        if (!argument.starts_with("--") || equals == std::string_view::npos)
            continue;
        const std::string name(argument.substr(0, equals));
        const CLI::Option* option = app.get_option_no_throw(name);
        if (option == nullptr)
            continue;
        if (takesNoValue(*option))
            return "option " + name + " takes no value";
        if (equals + 1 == argument.size())
            return "option " + name + " needs a value after '='";
    }
    return std::nullopt;
}

}  // namespace

void refuseLooseForms(CLI::App& app) {
    app.allow_windows_style_options(false);
    app.option_defaults()->disable_flag_override();
}

std::optional<std::string> parse(CLI::App& app, std::span<const std::string_view> arguments,
                                 std::vector<std::string>& operands) {
    const auto end = std::find(arguments.begin(), arguments.end(), "--");
    operands.assign(end == arguments.end() ? end : end + 1, arguments.end());
    arguments = std::span(arguments.begin(), end);
    if (auto problem = misplacedValue(app, arguments))
        return problem;
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());  // as CLI11 takes them
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        return error.what();
    }
    return std::nullopt;
}

std::optional<std::string> untakenWord(const CLI::App& app, std::string_view nonOption) {
    const std::vector<std::string> untaken = app.remaining();
    if (untaken.empty())
        return std::nullopt;
    const std::string& word = untaken.front();
    if (word.starts_with("-"))
        return "unknown option '" + word + "'";
    return std::string(nonOption) + " '" + word + "'";
}

}  // namespace fwu::command_line
