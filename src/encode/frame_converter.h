#pragma once
#include <cstddef>
#include <cstdint>

namespace vorlane {

// Turns host pixels (four little-endian binary16 values R, G, B, A each) into
// 32-bit words A << 24 | R << 16 | G << 8 | B with straight alpha, optionally
// dividing colour by alpha before quantising. Every step is single precision
// and must not be fused (the build passes -ffp-contract=off): the results
// are bit-exact, down to 0.49999997 quantising to 127.
struct FrameConverter {
    // `hf64` needs no particular alignment: the host's buffer is read as bytes.
    // Runs the fastest path the CPU allows (converter_path.h).
    static void convert(const std::uint8_t* hf64, std::uint32_t* argb, std::size_t pixel_count, bool divide);

    // The same, one pixel at a time: always built, and the reference.
    static void convert_plain(const std::uint8_t* hf64, std::uint32_t* argb, std::size_t pixel_count, bool divide);

    // One pixel, the reference every faster path is held to.
    static std::uint32_t convert_pixel(std::uint16_t r, std::uint16_t g, std::uint16_t b, std::uint16_t a,
                                       bool divide);

    static float decode_binary16(std::uint16_t bits);
    static std::uint32_t quantise(float v);
};

}  // namespace vorlane
