// Linked into a copy of the module by --wrap: the converter's words reach the
// encoder with red and blue swapped, a plausible fault for the test bundle to
// catch. Never part of the real module.
#include <cstddef>
#include <cstdint>

extern "C" {

void __real__ZN7vorlane14FrameConverter7convertEPKhPjyb(const std::uint8_t* hf64, std::uint32_t* argb,
                                                         std::size_t pixel_count, bool divide);

void __wrap__ZN7vorlane14FrameConverter7convertEPKhPjyb(const std::uint8_t* hf64, std::uint32_t* argb,
                                                         std::size_t pixel_count, bool divide) {
    __real__ZN7vorlane14FrameConverter7convertEPKhPjyb(hf64, argb, pixel_count, divide);
    for (std::size_t i = 0; i < pixel_count; ++i) {
        const std::uint32_t w = argb[i];
        argb[i] = (w & 0xFF00FF00u) | (w >> 16 & 0xFFu) | (w & 0xFFu) << 16;
    }
}

}  // extern "C"
