#include "host/frame_delay.h"

#include <gtest/gtest.h>

#include "support/frame_rates.h"

namespace vorlane {
namespace {

TEST(FrameDelay, WorkedValues) {
    for (const test::FrameRate& r : test::kFrameRates) {
        EXPECT_EQ(FrameDelay(r.fps_num, r.fps_den), (FrameDelayValue{r.delay_num, r.delay_den}))
            << r.fps_num << "/" << r.fps_den;
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
