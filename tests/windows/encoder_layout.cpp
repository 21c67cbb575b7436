#include "encoder_layout.h"

#include <objidl.h>
#include <gdiplus.h>
#include <zlib.h>

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "apng_reader.h"
#include "import_redirect.h"

namespace vorlane::test {
namespace {

namespace gp = Gdiplus;
namespace flat = Gdiplus::DllExports;

void put32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(v >> shift));
}

Bytes be32s(std::initializer_list<std::uint32_t> values) {
    Bytes out;
    for (const std::uint32_t v : values) put32(out, v);
    return out;
}

// The rows, each behind filter byte 0, as a zlib stream of stored blocks.
Bytes zlib_stored(const std::uint8_t* argb, std::uint32_t width, std::uint32_t height, std::int32_t stride) {
    Bytes raw;
    raw.reserve((std::size_t(width) * 4 + 1) * height);
    for (std::uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);
        const std::uint8_t* row = argb + std::ptrdiff_t(y) * stride;
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint8_t* p = row + 4 * x;  // B, G, R, A in memory
            raw.insert(raw.end(), {p[2], p[1], p[0], p[3]});
        }
    }
    Bytes out = {0x78, 0x5E};
    std::size_t at = 0;
    do {
        const std::size_t n = std::min<std::size_t>(raw.size() - at, 65535);
        out.push_back(at + n == raw.size() ? 1 : 0);
        out.insert(out.end(), {std::uint8_t(n), std::uint8_t(n >> 8), std::uint8_t(~n), std::uint8_t(~n >> 8)});
        out.insert(out.end(), raw.begin() + std::ptrdiff_t(at), raw.begin() + std::ptrdiff_t(at + n));
        at += n;
    } while (at < raw.size());
    put32(out, std::uint32_t(adler32(adler32(0, nullptr, 0), raw.data(), uInt(raw.size()))));
    return out;
}

EncoderLayout g_layout = EncoderLayout::AsEncoded;
std::vector<Bytes> g_frames;
decltype(&flat::GdipSaveImageToStream) real_save = nullptr;

Bytes stream_bytes(IStream* stream) {
    LARGE_INTEGER zero{};
    ULARGE_INTEGER end{};
    Bytes bytes;
    if (FAILED(stream->Seek(zero, STREAM_SEEK_END, &end)) || FAILED(stream->Seek(zero, STREAM_SEEK_SET, nullptr)))
        return bytes;
    bytes.resize(std::size_t(end.QuadPart));
    ULONG read = 0;
    stream->Read(bytes.data(), ULONG(bytes.size()), &read);
    bytes.resize(read);
    return bytes;
}

// A function of the GDI+ that the module loaded (from System32): the test
// programs import none of it, so a gdiplus.dll beside them is never loaded.
template <typename Fn>
Fn gdiplus(const char* name) {
    const HMODULE module = GetModuleHandleW(L"gdiplus.dll");
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// What the encoder on Windows would have written for the bitmap just saved.
bool lay_out_again(gp::GpImage* image, IStream* stream) {
    const auto width_of = gdiplus<decltype(&flat::GdipGetImageWidth)>("GdipGetImageWidth");
    const auto height_of = gdiplus<decltype(&flat::GdipGetImageHeight)>("GdipGetImageHeight");
    const auto dpi_of = gdiplus<decltype(&flat::GdipGetImageHorizontalResolution)>("GdipGetImageHorizontalResolution");
    const auto lock = gdiplus<decltype(&flat::GdipBitmapLockBits)>("GdipBitmapLockBits");
    const auto unlock = gdiplus<decltype(&flat::GdipBitmapUnlockBits)>("GdipBitmapUnlockBits");
    if (!width_of || !height_of || !dpi_of || !lock || !unlock) return false;
    auto* bitmap = static_cast<gp::GpBitmap*>(image);
    UINT width = 0, height = 0;
    gp::REAL dpi = 0;
    if (width_of(image, &width) != gp::Ok || height_of(image, &height) != gp::Ok || dpi_of(image, &dpi) != gp::Ok)
        return false;
    const gp::GpRect all(0, 0, INT(width), INT(height));
    gp::BitmapData pixels{};
    if (lock(bitmap, &all, gp::ImageLockModeRead, PixelFormat32bppARGB, &pixels) != gp::Ok) return false;
    const Bytes png = windows_png(static_cast<const std::uint8_t*>(pixels.Scan0), width, height, pixels.Stride,
                                  std::uint32_t(dpi / 0.0254f), g_layout == EncoderLayout::OlderWindows);
    unlock(bitmap, &pixels);
    ULARGE_INTEGER empty{};
    LARGE_INTEGER zero{};
    ULONG written = 0;
    return SUCCEEDED(stream->SetSize(empty)) && SUCCEEDED(stream->Seek(zero, STREAM_SEEK_SET, nullptr)) &&
           SUCCEEDED(stream->Write(png.data(), ULONG(png.size()), &written)) && written == png.size();
}

gp::GpStatus WINGDIPAPI save_laid_out(gp::GpImage* image, IStream* stream, const CLSID* encoder,
                                      const gp::EncoderParameters* parameters) {
    const gp::GpStatus status = real_save(image, stream, encoder, parameters);
    if (status != gp::Ok) return status;
    if (g_layout != EncoderLayout::AsEncoded && !lay_out_again(image, stream)) ADD_FAILURE() << "cannot lay the PNG out";
    g_frames.push_back(stream_bytes(stream));
    return status;  // the stream is left at its end, as after a save
}

}  // namespace

const char* name(EncoderLayout layout) {
    switch (layout) {
    case EncoderLayout::AsEncoded: return "AsEncoded";
    case EncoderLayout::Windows: return "Windows";
    case EncoderLayout::OlderWindows: return "OlderWindows";
    }
    return "?";
}

bool use_encoder_layout(HMODULE module, EncoderLayout layout) {
    g_layout = layout;
    g_frames.clear();
    return redirect_import(module, "gdiplus.dll", "GdipSaveImageToStream", &save_laid_out, real_save);
}

const std::vector<Bytes>& encoded_frames() {
    return g_frames;
}

Bytes windows_png(const std::uint8_t* argb, std::uint32_t width, std::uint32_t height, std::int32_t stride,
                  std::uint32_t pixels_per_metre, bool older) {
    Bytes png = kPngSignature;
    Bytes header = be32s({width, height});
    header.insert(header.end(), {8, 6, 0, 0, 0});
    append_chunk(png, "IHDR", header);
    append_chunk(png, "sRGB", {0});
    append_chunk(png, "gAMA", be32s({45455}));
    if (older) {
        append_chunk(png, "cHRM", be32s({31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000}));
    } else {
        Bytes phys = be32s({pixels_per_metre, pixels_per_metre});
        phys.push_back(1);
        append_chunk(png, "pHYs", phys);
    }
    // The encoder writes through a 64 KiB buffer: each IDAT's data ends
    // where the buffer filled, on a 64 KiB file offset.
    const Bytes stream = zlib_stored(argb, width, height, stride);
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t room = 65536 - (png.size() + 8) % 65536;
        const std::size_t n = std::min(room, stream.size() - at);
        const auto from = stream.begin() + std::ptrdiff_t(at);
        append_chunk(png, "IDAT", Bytes(from, from + std::ptrdiff_t(n)));
        at += n;
    }
    append_chunk(png, "IEND", {});
    return png;
}

}  // namespace vorlane::test
