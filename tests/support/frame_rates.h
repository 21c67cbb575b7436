#pragma once
// Frame rates and the fcTL delay each must give: the unit test of the
// arithmetic and the export cases share one table.
#include <cstdint>

namespace vorlane::test {

struct FrameRate {
    std::int32_t fps_num, fps_den;
    std::uint16_t delay_num, delay_den;
};

inline constexpr FrameRate kFrameRates[] = {
    {30000, 1001, 1001, 30000}, {30, 1, 1, 30},          {60, 2, 2, 60},          {70000, 1, 1, 7000},
    {655360, 1, 1, 6554},       {1, 70000, 60000, 1},    {1, 65536, 60000, 1},    {3, 100000, 60000, 2},
    {100000, 3, 1, 10000},      {200000, 100001, 10001, 20000},                   {120000, 2002, 1001, 60000},
    {32767, 200000000, 60000, 10},                       {1, 2147483647, 60000, 1}, {0, 1, 1, 0},
};

}  // namespace vorlane::test
