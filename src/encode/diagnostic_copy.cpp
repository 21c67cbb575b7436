#include "encode/diagnostic_copy.h"

#include <cstdio>

namespace vorlane {

std::string diagnostic_name(const char* prefix, std::int32_t frame_index) {
    char name[32];
    const int n = std::snprintf(name, sizeof name, "%s%03d.png", prefix, static_cast<int>(frame_index));
    return n > 0 && n < static_cast<int>(sizeof name) ? std::string(name, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace vorlane
