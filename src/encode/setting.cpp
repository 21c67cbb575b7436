#include "encode/setting.h"

namespace vorlane {

// Whole-word reads and writes without a lock.
static_assert(std::atomic<std::int32_t>::is_always_lock_free);

std::atomic<std::int32_t> divide_rgb_by_alpha{1};

}  // namespace vorlane
