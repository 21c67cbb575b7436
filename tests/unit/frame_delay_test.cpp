#include "host/frame_delay.h"

#include <gtest/gtest.h>

namespace vorlane {
namespace {

struct Worked {
    std::int32_t fps_num, fps_den;
    std::int64_t delay_num, delay_den;
};

TEST(FrameDelay, WorkedValues) {
    const Worked cases[] = {
        {30000, 1001, 1001, 30000}, {30, 1, 1, 30},          {60, 2, 2, 60},          {70000, 1, 1, 7000},
        {655360, 1, 1, 6554},       {1, 70000, 60000, 1},    {1, 65536, 60000, 1},    {3, 100000, 60000, 2},
        {100000, 3, 1, 10000},      {200000, 100001, 10001, 20000},                   {120000, 2002, 1001, 60000},
        {32767, 200000000, 60000, 10},                       {1, 2147483647, 60000, 1}, {0, 1, 1, 0},
    };
    for (const Worked& w : cases) {
        EXPECT_EQ(FrameDelay(w.fps_num, w.fps_den), (FrameDelayValue{w.delay_num, w.delay_den}))
            << w.fps_num << "/" << w.fps_den;
    }
}

TEST(FrameDelay, ExtremeRatesStayWithin16Bits) {
    // Positive rates always fit fcTL's fields; the additions must not overflow.
    const std::int32_t values[] = {1, 2, 3, 32767, 32768, 65535, 65536, 99991, 2147483646, 2147483647};
    for (std::int32_t n : values) {
        for (std::int32_t d : values) {
            const FrameDelayValue v = FrameDelay(n, d);
            EXPECT_GE(v.num, 1) << n << "/" << d;
            EXPECT_LE(v.num, 65535) << n << "/" << d;
            EXPECT_GE(v.den, 1) << n << "/" << d;
            EXPECT_LE(v.den, 65535) << n << "/" << d;
        }
    }
}

TEST(FrameDelay, NonPositiveRatesGoThroughTheSameSteps) {
    EXPECT_EQ(FrameDelay(-30, 1), (FrameDelayValue{1, -30}));
    EXPECT_EQ(FrameDelay(30, 0), (FrameDelayValue{0, 30}));
    // Truncation toward zero in the long-frame branch.
    EXPECT_EQ(FrameDelay(-5, 100000), (FrameDelayValue{60000, -2}));
    EXPECT_EQ(FrameDelay(-2147483647 - 1, 1), (FrameDelayValue{1, -2147483647 - 1}));
}

}  // namespace
}  // namespace vorlane
