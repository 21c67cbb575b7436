#pragma once
#include <cstdint>

#include "platform/memory_block.h"
#include "platform/png_encoder.h"

namespace vorlane {

// One host frame in "HF64" layout in, one complete PNG stream out.
struct FrameEncoder {
    // `pixels` is what the host's fetch_frame returned, possibly null. Empty
    // on any failure: null frame, a size of less than one pixel or of more
    // than 2^31 - 1 converted bytes, allocation, or the platform encoder.
    static MemoryBlock encode(const void* pixels, std::int32_t width, std::int32_t height, bool divide,
                              std::int32_t frame_index, PngEncoder& encoder);
};

}  // namespace vorlane
