// The PNG encoder on Windows: GDI+ through its flat interface, saving a
// bitmap that wraps our converted pixels into an OLE memory stream.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cwchar>
#include <string>

#include "encode/diagnostic_copy.h"
#include "platform/png_encoder.h"

namespace vorlane {
namespace {

namespace gp = Gdiplus;
namespace flat = Gdiplus::DllExports;

// Each holder releases one platform object when it goes out of scope.
class BitmapHolder {
public:
    BitmapHolder() = default;
    BitmapHolder(const BitmapHolder&) = delete;
    BitmapHolder& operator=(const BitmapHolder&) = delete;
    ~BitmapHolder() {
        if (bitmap_) flat::GdipDisposeImage(bitmap_);
    }
    gp::GpBitmap** out() { return &bitmap_; }
    gp::GpBitmap* get() const { return bitmap_; }

private:
    gp::GpBitmap* bitmap_ = nullptr;
};

class StreamHolder {
public:
    StreamHolder() = default;
    StreamHolder(const StreamHolder&) = delete;
    StreamHolder& operator=(const StreamHolder&) = delete;
    ~StreamHolder() {
        if (stream_) stream_->Release();
    }
    IStream** out() { return &stream_; }
    IStream* get() const { return stream_; }

private:
    IStream* stream_ = nullptr;
};

// The first encoder whose MIME type is exactly "image/png". Looked up anew
// for every frame: the list is the service's, and a frame costs far more.
bool find_png_encoder(CLSID& clsid) {
    UINT count = 0;
    UINT bytes = 0;
    if (flat::GdipGetImageEncodersSize(&count, &bytes) != gp::Ok || bytes == 0) return false;
    MemoryBlock list = MemoryBlock::allocate(bytes, false);
    if (!list) return false;
    auto* codecs = reinterpret_cast<gp::ImageCodecInfo*>(list.data());
    // After a failed fill the descriptions are undefined: their pointers lead
    // anywhere, so they are not walked.
    if (flat::GdipGetImageEncoders(count, bytes, codecs) != gp::Ok) return false;
    // Never walk past the block we own, whatever the count says.
    const UINT fitting = static_cast<UINT>(bytes / sizeof(gp::ImageCodecInfo));
    if (count > fitting) count = fitting;
    for (UINT i = 0; i < count; ++i) {
        if (codecs[i].MimeType && std::wcscmp(codecs[i].MimeType, L"image/png") == 0) {
            clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

// GDI+ saving a bitmap as PNG into the file at a path.
struct SaveToFile {
    gp::GpBitmap* bitmap;
    const CLSID* png_clsid;
    static bool save(const char16_t* path, void* context) {
        const auto* self = static_cast<const SaveToFile*>(context);
        return flat::GdipSaveImageToFile(self->bitmap, reinterpret_cast<const WCHAR*>(path), self->png_clsid,
                                         nullptr) == gp::Ok;
    }
};

class GdiplusEncoder final : public PngEncoder {
public:
    GdiplusEncoder() {
        // Version 1, no debug callback, GDI+'s own background thread and
        // external codecs allowed. The status decides nothing: a service
        // that did not start fails each frame's bitmap instead.
        gp::GdiplusStartupInput input;
        input.GdiplusVersion = 1;
        input.DebugEventCallback = nullptr;
        input.SuppressBackgroundThread = FALSE;
        input.SuppressExternalCodecs = FALSE;
        gp::GdiplusStartup(&token_, &input, nullptr);
    }
    ~GdiplusEncoder() override {
        if (token_) gp::GdiplusShutdown(token_);
    }
    GdiplusEncoder(const GdiplusEncoder&) = delete;
    GdiplusEncoder& operator=(const GdiplusEncoder&) = delete;

    MemoryBlock encode(MemoryBlock& argb, std::int32_t width, std::int32_t height, DiagnosticFolder* copies,
                       std::int32_t frame_index) override {
        if (width < 1 || height < 1) return {};
        const std::uint64_t stride = std::uint64_t(width) * 4;
        if (stride > 0x7FFFFFFFu || argb.size() < stride * std::uint64_t(height)) return {};

        // Declared stream first so that leaving the scope disposes of the
        // bitmap, then the stream; the caller frees the pixels after both.
        StreamHolder stream;
        BitmapHolder bitmap;
        if (flat::GdipCreateBitmapFromScan0(width, height, static_cast<INT>(stride), PixelFormat32bppARGB,
                                            argb.data(), bitmap.out()) != gp::Ok ||
            !bitmap.get())
            return {};

        CLSID png_clsid{};
        if (!find_png_encoder(png_clsid)) return {};

        if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.out())) || !stream.get()) return {};

        // A second encoding for whoever debugs an export; it may fail freely.
        if (copies) {
            SaveToFile second{bitmap.get(), &png_clsid};
            copies->save_copy(diagnostic_name("as", frame_index), &SaveToFile::save, &second);
        }

        if (flat::GdipSaveImageToStream(bitmap.get(), stream.get(), &png_clsid, nullptr) != gp::Ok) return {};

        // A failed seek leaves the size unknown, or the reading position
        // anywhere: either way the bytes read would not be the PNG.
        LARGE_INTEGER zero{};
        ULARGE_INTEGER end{};
        if (FAILED(stream.get()->Seek(zero, STREAM_SEEK_END, &end)) ||
            FAILED(stream.get()->Seek(zero, STREAM_SEEK_SET, nullptr)))
            return {};
        // The block's length travels as int32. Judged on the whole position:
        // the low 32 bits of a longer stream would pass for a short PNG, and
        // reading that many bytes would hand on a truncated one as a success.
        if (end.QuadPart == 0 || end.QuadPart > 0x7FFFFFFFu) return {};
        const ULONG size = end.LowPart;

        MemoryBlock png = MemoryBlock::allocate(size, false);
        if (!png) return {};
        ULONG read = 0;
        stream.get()->Read(png.data(), size, &read);
        if (read != size) return {};
        return png;
    }

private:
    ULONG_PTR token_ = 0;
};

}  // namespace

std::unique_ptr<PngEncoder> start_png_encoder() {
    return std::make_unique<GdiplusEncoder>();
}

}  // namespace vorlane
