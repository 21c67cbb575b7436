#pragma once
// Seam: the platform's PNG encoder (GDI+ on Windows, libpng elsewhere),
// started for the length of one run and stopped when this object goes.
#include <cstdint>
#include <memory>

#include "platform/diagnostic_folder.h"
#include "platform/memory_block.h"

namespace vorlane {

class PngEncoder {
public:
    virtual ~PngEncoder() = default;

    // Encodes width x height words A << 24 | R << 16 | G << 8 | B (straight
    // alpha, rows packed) into one complete PNG stream; every frame of a run
    // comes out with the same IHDR. On the way, where there is a diagnostic
    // folder, it saves the frame there once more as "as%03d.png". Empty on
    // failure.
    virtual MemoryBlock encode(MemoryBlock& argb, std::int32_t width, std::int32_t height,
                               DiagnosticFolder* copies, std::int32_t frame_index) = 0;
};

// Starts the platform's image-encoding service. Never null.
std::unique_ptr<PngEncoder> start_png_encoder();

}  // namespace vorlane
