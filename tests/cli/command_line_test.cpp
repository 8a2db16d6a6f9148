// The forms a valid command line can take; the invalid ones run end to end (exit status 2).
#include <gtest/gtest.h>

#include <vector>

#include "cli/command_line.h"

namespace fwu::cli {
namespace {

using namespace std::chrono_literals;

struct ValidCase {
    std::vector<std::string_view> arguments;
    Command command;
    std::optional<std::filesystem::path> path;
    bool simulate;
    std::optional<std::filesystem::path> trace;
    std::optional<std::chrono::milliseconds> timeout;
};

TEST(CommandLine, AcceptsOptionsAnywhere) {
    const ValidCase cases[] = {
        {{"list"}, Command::List, {}, false, {}, {}},
        {{"update"}, Command::Update, {}, false, {}, {}},
        {{"--simulate", "dump", "flash.bin"}, Command::Dump, "flash.bin", true, {}, {}},
        {{"load", "z.bin", "--trace", "t.txt"}, Command::Load, "z.bin", false, "t.txt", {}},
        {{"upgrade", "--trace=t.txt", "--timeout=0.25"},
         Command::Upgrade,
         {},
         false,
         "t.txt",
         250ms},
        {{"--timeout", "45", "upgrade", "z.bin"}, Command::Upgrade, "z.bin", false, {}, 45000ms},
        {{"update", "--", "--odd.bin"}, Command::Update, "--odd.bin", false, {}, {}},
        {{"bootloader", "--simulate"}, Command::Bootloader, {}, true, {}, {}},
    };
    for (const auto& c : cases) {
        const auto parsed = parseCommandLine(c.arguments);
        SCOPED_TRACE(std::string(c.arguments.front()));
        ASSERT_EQ(parsed.error, "");
        EXPECT_EQ(parsed.request, Request::Run);
        EXPECT_EQ(parsed.options.command, c.command);
        EXPECT_EQ(parsed.options.path, c.path);
        EXPECT_EQ(parsed.options.simulate, c.simulate);
        EXPECT_EQ(parsed.options.tracePath, c.trace);
        EXPECT_EQ(parsed.options.upgradeTimeout, c.timeout);
    }
}

}  // namespace
}  // namespace fwu::cli
