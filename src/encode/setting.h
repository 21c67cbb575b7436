#pragma once
#include <atomic>
#include <cstdint>

namespace vorlane {

// The one user setting: 1 divides colour by alpha before quantising, 0 does
// not. 1 at load, never saved. The dialog writes it and every frame reads it,
// possibly on another thread: one whole word, no lock, no ordering needed.
extern std::atomic<std::int32_t> divide_rgb_by_alpha;

}  // namespace vorlane
