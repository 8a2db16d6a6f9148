// The window's command line, one for both windows: what each command line asks for, and why one
// is refused.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/file_system.h"
#include "window/window_command_line.h"

namespace fwu::window::testing {
namespace {

using enum StartRequest::Kind;

struct Case {
    const char* arguments;  // split at spaces
    StartRequest::Kind kind;
    const char* problem = "";  // part of the refusal
    bool simulate = false;
    const char* trace = nullptr;   // as UTF-8; nullptr: none
    const char* folder = nullptr;  // as UTF-8; nullptr: none
};

const Case Cases[] = {
    {"", Run},
    {"--simulate --trace reports.txt --folder images", Run, "", true, "reports.txt", "images"},
    {"--folder=images --trace=reports.txt", Run, "", false, "reports.txt", "images"},
    // A word that begins with '/' is a path, on Windows too.
    {"--folder /simulate --trace=/tmp/reports", Run, "", false, "/tmp/reports", "/simulate"},
    {"--folder Прошивка", Run, "", false, nullptr, "Прошивка"},
    {"--help", ShowHelp},
    {"--simulate -h", ShowHelp, "", true},
    {"--version", ShowVersion},
    {"-v --help", ShowHelp},
    {"--trace", Refuse, "--trace: 1 required <file> missing"},
    {"--simulate --folder", Refuse, "--folder: 1 required <folder> missing"},
    {"--trace= --simulate", Refuse, "option --trace needs a value after '='"},
    {"--simulate=0", Refuse, "option --simulate takes no value"},
    {"--help --force", Refuse, "unknown option '--force'"},
    {"/simulate", Refuse, "unexpected argument '/simulate'"},
    {"/?", Refuse, "unexpected argument '/?'"},
    {"--simulate images", Refuse, "unexpected argument 'images'"},
};

std::optional<std::filesystem::path> pathOf(const char* utf8) {
    return utf8 ? std::optional(platform::pathFromUtf8(utf8)) : std::nullopt;
}

TEST(WindowCommandLine, EachCommandLineStartsAsItAsksOrIsRefusedWithTheOptions) {
    for (const Case& c : Cases) {
        SCOPED_TRACE(c.arguments);
        std::vector<std::string> arguments;
        std::istringstream words(c.arguments);
        for (std::string word; words >> word;)
            arguments.push_back(word);

        const StartRequest request = parseCommandLine(arguments);
        EXPECT_EQ(request.kind, c.kind);
        EXPECT_EQ(request.backend.simulate, c.simulate);
        EXPECT_EQ(request.backend.traceFile, pathOf(c.trace));
        EXPECT_EQ(request.folder, pathOf(c.folder));
        EXPECT_NE(request.problem.find(c.problem), std::string::npos) << request.problem;
        const bool refused = c.kind == Refuse;
        EXPECT_EQ(request.problem.find(usageText()) != std::string::npos, refused);
    }
}

TEST(WindowCommandLine, HelpNamesEachOptionWithItsValue) {
    const std::string usage = usageText();
    for (const char* option : {"\n--simulate\n", "\n--trace <file>\n", "\n--folder <folder>\n",
                               "\n-h, --help\n", "\n-v, --version\n"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option << " in\n" << usage;
    }
}

}  // namespace
}  // namespace fwu::window::testing
