// The PNG encoder where GDI+ is absent: libpng, writing 8-bit RGBA straight
// from the converted words (bytes B, G, R, A in memory, hence png_set_bgr).
#include "platform/posix/png_encoder_libpng.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <vector>

#include "encode/diagnostic_copy.h"
#include "platform/output_file.h"

namespace vorlane {

// Paeth on every row instead of libpng's per-row choice among all five
// filters: files within 2 % of that choice's size for about a fifth less
// encoding time, and encoding is most of an export's time. Level 6 and
// Z_FILTERED are libpng's defaults; lower levels or Z_RLE buy more speed
// with larger files. Measured in docs/performance.md.
const LibpngSettings kLibpngSettings = {6, PNG_FILTER_PAETH, Z_FILTERED};

namespace {

struct Sink {
    std::vector<std::uint8_t> bytes;
    bool failed = false;
};

void append(png_structp png, png_bytep data, png_size_t size) {
    auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
    try {
        sink->bytes.insert(sink->bytes.end(), data, data + size);
    } catch (...) {
        sink->failed = true;
    }
}

void flush(png_structp) {}

// libpng reports errors by longjmp; only trivially destructible locals live
// in this function, so nothing is skipped when it jumps back.
bool encode_rows(png_structp png, png_infop info, const std::uint8_t* argb, std::int32_t width,
                 std::int32_t height, const LibpngSettings& settings, Sink& sink) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, &sink, append, flush);
    // 8192-byte IDATs, as small as the Windows encoder's, so that large
    // frames run past 256 chunks here too.
    png_set_compression_buffer_size(png, 8192);
    png_set_compression_level(png, settings.level);
    png_set_compression_strategy(png, settings.strategy);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, settings.filters);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    for (std::int32_t y = 0; y < height; ++y)
        png_write_row(png, const_cast<png_bytep>(argb + static_cast<std::size_t>(y) * stride));
    png_write_end(png, info);
    return !sink.failed;
}

// Writes the encoded bytes to the file at `path`, as GDI+ saves to a file by name.
bool save_to_file(const char16_t* path, void* context) {
    const auto& bytes = *static_cast<const std::vector<std::uint8_t>*>(context);
    const auto file = OutputFile::create(path, OutputFile::Access::WriteOnly);
    return file && file->write(bytes.data(), bytes.size()) && file->close();
}

class LibpngEncoder final : public PngEncoder {
public:
    explicit LibpngEncoder(const LibpngSettings& settings) : settings_(settings) {}

    MemoryBlock encode(MemoryBlock& argb, std::int32_t width, std::int32_t height, DiagnosticFolder* copies,
                       std::int32_t frame_index) override {
        if (width < 1 || height < 1 || argb.size() < std::size_t(width) * std::size_t(height) * 4) return {};
        Sink sink;
        if (!encode_once(argb.data(), width, height, settings_, sink)) return {};

        // The encoder is deterministic, so the diagnostic second save is
        // these bytes, saved by path as GDI+ saves its own.
        if (copies) copies->save_copy(diagnostic_name("as", frame_index), &save_to_file, &sink.bytes);

        if (sink.bytes.size() > 0x7FFFFFFFu) return {};
        MemoryBlock png = MemoryBlock::allocate(sink.bytes.size(), false);
        if (png) std::memcpy(png.data(), sink.bytes.data(), sink.bytes.size());
        return png;
    }

private:
    static bool encode_once(const std::uint8_t* argb, std::int32_t width, std::int32_t height,
                            const LibpngSettings& settings, Sink& sink) {
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        if (!png) return false;
        png_infop info = png_create_info_struct(png);
        const bool ok = info && encode_rows(png, info, argb, width, height, settings, sink);
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return ok;
    }

    LibpngSettings settings_;
};

}  // namespace

std::unique_ptr<PngEncoder> start_libpng_encoder(const LibpngSettings& settings) {
    return std::make_unique<LibpngEncoder>(settings);
}

std::unique_ptr<PngEncoder> start_png_encoder() {
    return start_libpng_encoder(kLibpngSettings);
}

}  // namespace vorlane
