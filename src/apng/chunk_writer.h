#pragma once
#include <cstddef>
#include <cstdint>

namespace vorlane {

// Frames one chunk in place: every chunk the plugin writes itself goes
// through here, so length, type and CRC are always consistent.
struct ChunkWriter {
    // The caller has put the data at pos + 8. Writes the length total - 12 at
    // pos, the type at pos + 4 and the CRC of type and data at pos + total - 4.
    static void frame(std::uint8_t* buffer, std::size_t pos, std::size_t total, std::uint32_t type);
};

}  // namespace vorlane
