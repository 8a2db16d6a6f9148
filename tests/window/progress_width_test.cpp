// The fill's width in twips for the steps the operations report (their steps are checked with
// the operations): the full width times done over total, exact until it is rounded once.
#include "window/progress_width.h"

#include <gtest/gtest.h>

namespace fwu::window::testing {
namespace {

TEST(ProgressWidth, IsTheFullWidthTimesDoneOverTotalRoundedOnce) {
    struct Case {
        std::int64_t done, total;
        float twips;  // of the design's full width, 5055 twips
    };
    // clang-format off
    const Case cases[] = {
        {0, 3, 0},        {1, 3, 1685},     {2, 3, 3370},      {3, 3, 5055},  {1, 1, 5055},
        {1, 5, 1011},     {2, 5, 2022},     {3, 5, 3033},      {4, 5, 4044},  {5, 5, 5055},
        {1, 4, 1263.75f}, {2, 4, 2527.5f},  {3, 4, 3791.25f},
        {3319, 32767, 512.025696f},           // in single precision throughout: 512.025635
        {1048575, 3 * 1048576, 1684.99841f},  // a product beyond 32 bits
        {1, 0, 0},                            // nothing to count
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(progressWidth(5055, c.done, c.total), c.twips) << c.done << "/" << c.total;
}

}  // namespace
}  // namespace fwu::window::testing
