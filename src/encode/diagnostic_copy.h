#pragma once
// The names of a frame's two diagnostic copies: "as%03d.png" from the
// encoder's second save, "at%03d.png" with the exact bytes that went into
// the APNG.
#include <cstdint>
#include <string>

namespace vorlane {

// "as007.png", "at1234.png": `prefix` and the frame index, at least three digits.
std::string diagnostic_name(const char* prefix, std::int32_t frame_index);

}  // namespace vorlane
