// Off a terminal, the progress lines are checked by the command-line runs; here, the line a
// terminal redraws.
#include "cli/progress_display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace fwu::cli {
namespace {

using namespace std::chrono_literals;

// A dump advances a million times; the line is redrawn only when time has passed, when it
// becomes full, and once more when it ends.
TEST(ProgressDisplay, RedrawsTheTerminalLineSparingly) {
    std::ostringstream out;
    const auto now = std::chrono::steady_clock::now();
    ProgressDisplay display(out, true, [now] { return now; });
    display.start("dump", 1048576);
    for (std::int64_t block = 0; block <= 32767; ++block) {
        for (int byte = 0; byte < 32; ++byte)
            display.advance(block, 32767);
    }
    display.finish();
    const std::string text = out.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 3);
    EXPECT_TRUE(text.ends_with("100%  1.0 MiB / 1.0 MiB\n")) << text;
}

TEST(ProgressDisplay, ShowsThroughputAndTimeLeftOnATerminal) {
    std::ostringstream out;
    auto now = std::chrono::steady_clock::now();
    ProgressDisplay display(out, true, [&now] { return now; });
    display.start("update", 4096);
    now += 2s;
    display.advance(1, 4);  // 1 KiB in 2 s: 3 KiB left at 512 B/s
    EXPECT_EQ(out.str(),
              "\rupdate [######------------------] 25%  1.0 KiB / 4.0 KiB  512 B/s  0:06 left");
}

TEST(ProgressDisplay, FormatsBytesAndDurations) {
    const std::pair<double, const char*> bytes[] = {
        {1023, "1023 B"}, {1024, "1.0 KiB"}, {1536, "1.5 KiB"}, {1048576, "1.0 MiB"}};
    for (const auto& [value, text] : bytes)
        EXPECT_EQ(byteText(value), text);
    EXPECT_EQ(durationText(754s), "12:34");
    EXPECT_EQ(durationText(3723s), "1:02:03");
}

}  // namespace
}  // namespace fwu::cli
