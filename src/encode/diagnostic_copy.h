#pragma once
// Every frame leaves PNG copies under "C:/temp/" for whoever debugs an
// export: "as%03d.png" from the encoder's second save, "at%03d.png" with the
// exact bytes that went into the APNG. Where the folder is missing they fail
// silently.
#include <cstddef>
#include <cstdint>
#include <string>

namespace vorlane {

// "C:/temp/<prefix>%03d.png" in UTF-16, cut to 4095 units.
std::u16string diagnostic_path(const char* prefix, std::int32_t frame_index);

void write_diagnostic_copy(const char16_t* path, const std::uint8_t* data, std::size_t size) noexcept;

}  // namespace vorlane
