// Arbitrary "HF64" bytes and frame sizes through the frame converter and the
// frame encoder, with a stand-in PNG encoder that checks what it is handed.
//
// Input: one mode byte, then either (mode bit 0 set) two little-endian int32
// values taken as width and height whatever they are, or (clear) a width of
// 1 + the next byte % 64 with as many rows as the pixel bytes fill; the rest
// is pixel data. Sizes the encoder must refuse are given a pixel buffer far
// smaller than they describe: reading it at all is caught by AddressSanitizer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "encode/frame_converter.h"
#include "encode/frame_encoder.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "frame encoder fuzz: %s\n", what);
    std::abort();
}

class CheckingEncoder final : public vorlane::PngEncoder {
public:
    const std::uint8_t* hf64 = nullptr;
    bool divide = false;
    int calls = 0;

    vorlane::MemoryBlock encode(vorlane::MemoryBlock& argb, std::int32_t width, std::int32_t height,
                                vorlane::DiagnosticFolder*, std::int32_t) override {
        ++calls;
        const std::size_t pixels = std::size_t(width) * std::size_t(height);
        if (width < 1 || height < 1 || argb.size() != pixels * 4) fail("pixel block of the wrong size");
        // The bulk conversion agrees with the one-pixel reference.
        for (std::size_t i = 0; i < pixels; ++i) {
            const std::uint8_t* p = hf64 + 8 * i;
            auto word = [p](int k) { return std::uint16_t(p[2 * k] | p[2 * k + 1] << 8); };
            const std::uint32_t expected = vorlane::FrameConverter::convert_pixel(word(0), word(1), word(2), word(3), divide);
            std::uint32_t got;
            std::memcpy(&got, argb.data() + 4 * i, 4);
            if (got != expected) fail("bulk conversion differs from the reference");
        }
        vorlane::MemoryBlock out = vorlane::MemoryBlock::allocate(16, false);
        if (out) std::memset(out.data(), 0x42, out.size());
        return out;
    }
};

std::int32_t le32(const std::uint8_t* p) {
    return std::int32_t(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                        std::uint32_t(p[3]) << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t mode = data[0];
    const bool divide = (mode & 2) != 0;
    std::int32_t width, height;
    std::size_t header;
    if (mode & 1) {
        if (size < 9) return 0;
        width = le32(data + 1);
        height = le32(data + 5);
        header = 9;
    } else {
        width = 1 + data[1] % 64;
        header = 2;
        height = std::int32_t((size - header) / 8 / std::size_t(width));
    }
    const std::size_t available = size - header;
    std::unique_ptr<std::uint8_t[]> pixels(new std::uint8_t[available]);
    if (available) std::memcpy(pixels.get(), data + header, available);

    const bool refusable = width < 1 || height < 1 || std::uint64_t(width) * std::uint64_t(height) * 4 > 0x7FFFFFFFu;
    // A size the encoder accepts must be backed by its pixels: that is the
    // host's side of the contract, not something to fuzz.
    if (!refusable && std::uint64_t(width) * std::uint64_t(height) * 8 > available) return 0;

    CheckingEncoder encoder;
    encoder.hf64 = pixels.get();
    encoder.divide = divide;
    vorlane::MemoryBlock png = vorlane::FrameEncoder::encode(pixels.get(), width, height, divide, 0, encoder);
    if (refusable && (png || encoder.calls != 0)) fail("a refusable size was encoded");
    if (!refusable && (!png || encoder.calls != 1)) fail("a valid frame was not encoded");

    // Null pixels yield nothing, whatever the size.
    CheckingEncoder unused;
    if (vorlane::FrameEncoder::encode(nullptr, width, height, divide, 0, unused) || unused.calls != 0)
        fail("null pixels were encoded");
    return 0;
}
