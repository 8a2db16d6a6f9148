#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// CLI11 as every command line of the program uses it.
namespace fwu::command_line {

// Refuses what CLI11 would take otherwise: a Windows-style option ("/simulate"; a word that
// begins with "/" is a path) and a value given to a flag ("--quiet=0"). Called before the
// options are declared; a flag that takes a value after '=' allows it with
// disable_flag_override(false).
void refuseLooseForms(CLI::App& app);

// Parses `arguments` (UTF-8, the program's name left out) into the options `app` declares.
// Returns what is wrong, or nothing. After "--" every word is an argument, whatever it looks
// like: those words are not given to CLI11 but put in `operands`, for the caller to take.
std::optional<std::string> parse(CLI::App& app, std::span<const std::string_view> arguments,
                                 std::vector<std::string>& operands);

// The first word that no declaration took (with app.allow_extras()) as a problem: an unknown
// option, or else `nonOption` followed by the word. Nothing when every word was taken.
std::optional<std::string> untakenWord(const CLI::App& app, std::string_view nonOption);

}  // namespace fwu::command_line
