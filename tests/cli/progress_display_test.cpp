#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "cli/progress_display.h"

namespace fwu::cli {
namespace {

using namespace std::chrono_literals;

struct TenthsCase {
    std::int64_t total;
    std::string expected;
};

// Off a terminal, a line each time another tenth is done, never more than ten.
TEST(ProgressDisplay, WritesALinePerTenthOffATerminal) {
    const TenthsCase cases[] = {
        {3, "t: 33% (33 B of 100 B)\nt: 66% (66 B of 100 B)\nt: 100% (100 B of 100 B)\n"},
        {1000,
         "t: 10% (10 B of 100 B)\nt: 20% (20 B of 100 B)\nt: 30% (30 B of 100 B)\n"
         "t: 40% (40 B of 100 B)\nt: 50% (50 B of 100 B)\nt: 60% (60 B of 100 B)\n"
         "t: 70% (70 B of 100 B)\nt: 80% (80 B of 100 B)\nt: 90% (90 B of 100 B)\n"
         "t: 100% (100 B of 100 B)\n"},
    };
    for (const auto& c : cases) {
        std::ostringstream out;
        ProgressDisplay display(out, false);
        display.start("t", 100);
        for (std::int64_t done = 0; done <= c.total; ++done)
            display.advance(done, c.total);
        display.finish();
        EXPECT_EQ(out.str(), c.expected) << "total " << c.total;
    }
}

// A dump advances a million times; the line is redrawn only when time has passed, when it
// becomes full, and once more when it ends.
TEST(ProgressDisplay, RedrawsTheTerminalLineSparingly) {
    std::ostringstream out;
    const auto now = std::chrono::steady_clock::now();
    ProgressDisplay display(out, true, [now] { return now; });
    display.start("dump", 1048576);
    constexpr std::int64_t Total = 32767;
    for (std::int64_t block = 0; block <= Total; ++block) {
        for (int byte = 0; byte < 32; ++byte)
            display.advance(block, Total);
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
        {0, "0 B"}, {1023, "1023 B"}, {1024, "1.0 KiB"}, {1536, "1.5 KiB"}, {1048576, "1.0 MiB"}};
    for (const auto& [value, text] : bytes)
        EXPECT_EQ(byteText(value), text);
    const std::pair<std::chrono::seconds, const char*> durations[] = {
        {0s, "0:00"}, {7s, "0:07"}, {754s, "12:34"}, {3723s, "1:02:03"}};
    for (const auto& [value, text] : durations)
        EXPECT_EQ(durationText(value), text);
}

}  // namespace
}  // namespace fwu::cli
