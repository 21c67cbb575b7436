#pragma once
#include <cstdint>

namespace vorlane {

// A chunk type's four ASCII bytes as one code, first byte most significant,
// so that codes compare equal exactly when the bytes do.
constexpr std::uint32_t chunk_type(const char (&name)[5]) {
    return (std::uint32_t(std::uint8_t(name[0])) << 24) | (std::uint32_t(std::uint8_t(name[1])) << 16) |
           (std::uint32_t(std::uint8_t(name[2])) << 8) | std::uint32_t(std::uint8_t(name[3]));
}

inline constexpr std::uint32_t kIHDR = chunk_type("IHDR");
inline constexpr std::uint32_t kIDAT = chunk_type("IDAT");
inline constexpr std::uint32_t kIEND = chunk_type("IEND");
inline constexpr std::uint32_t kPHYs = chunk_type("pHYs");
inline constexpr std::uint32_t kACTL = chunk_type("acTL");
inline constexpr std::uint32_t kFCTL = chunk_type("fcTL");
inline constexpr std::uint32_t kFDAT = chunk_type("fdAT");
inline constexpr std::uint32_t kTEXT = chunk_type("tEXt");

}  // namespace vorlane
