#include "encode/frame_encoder.h"

#include "encode/diagnostic_copy.h"
#include "encode/frame_converter.h"
#include "platform/diagnostic_folder.h"

namespace vorlane {

MemoryBlock FrameEncoder::encode(const void* pixels, std::int32_t width, std::int32_t height, bool divide,
                                 std::int32_t frame_index, PngEncoder& encoder) {
    if (!pixels) return {};
    // Checked before anything is allocated or any host pixel is read.
    if (width < 1 || height < 1) return {};
    const std::uint64_t pixel_count = std::uint64_t(width) * std::uint64_t(height);
    if (pixel_count * 4 > 0x7FFFFFFFu) return {};

    MemoryBlock argb = MemoryBlock::allocate(static_cast<std::size_t>(pixel_count) * 4, true);
    if (!argb) return {};
    FrameConverter::convert(static_cast<const std::uint8_t*>(pixels), reinterpret_cast<std::uint32_t*>(argb.data()),
                            static_cast<std::size_t>(pixel_count), divide);

    // The folder is looked at once a frame and held for both of its copies.
    const std::unique_ptr<DiagnosticFolder> copies = DiagnosticFolder::open();
    MemoryBlock png = encoder.encode(argb, width, height, copies.get(), frame_index);
    if (png && copies) copies->write_copy(diagnostic_name("at", frame_index), png.data(), png.size());
    return png;
}

}  // namespace vorlane
