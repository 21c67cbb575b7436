#include "encode/setting.h"

namespace vorlane {

std::atomic<std::int32_t> divide_rgb_by_alpha{1};

}  // namespace vorlane
