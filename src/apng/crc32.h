#pragma once
#include <cstddef>
#include <cstdint>

namespace vorlane {

// CRC-32 of PNG chunks: reflected polynomial 0xEDB88320, preset 0xFFFFFFFF,
// result complemented.
std::uint32_t crc32(const std::uint8_t* data, std::size_t size);

}  // namespace vorlane
