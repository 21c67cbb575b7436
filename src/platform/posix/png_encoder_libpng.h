#pragma once
// The libpng encoder's zlib and filter settings, open to the benchmark that
// chose them (bench/export_bench.cpp); the product uses kLibpngSettings.
#include <memory>

#include "platform/png_encoder.h"

namespace vorlane {

struct LibpngSettings {
    int level;     // zlib compression level, 0 ... 9
    int filters;   // PNG_FILTER_* flags; several make libpng choose per row
    int strategy;  // zlib strategy, Z_DEFAULT_STRATEGY, Z_FILTERED, Z_RLE ...
};

extern const LibpngSettings kLibpngSettings;

std::unique_ptr<PngEncoder> start_libpng_encoder(const LibpngSettings& settings);

}  // namespace vorlane
