#pragma once
#include <memory>

#include "host/output_request.h"
#include "platform/png_encoder.h"

namespace vorlane {

// One export: pulls every frame from the host, encodes it and stitches the
// PNGs into one APNG at the host's path. True when no frame failed (a run the
// host stopped early included); false when the file cannot be created, a
// frame cannot be encoded, or the file cannot be written or closed.
struct OutputJob {
    using EncoderStarter = std::unique_ptr<PngEncoder> (*)();
    // Tests start their own encoder in place of the platform's.
    static bool run(const OutputRequest& request, EncoderStarter start_encoder = start_png_encoder);
};

}  // namespace vorlane
