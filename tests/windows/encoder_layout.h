#pragma once
// The module stitches whatever PNG the platform's encoder lays out. Wine's
// encoder is not the one users have: this puts the test between the module
// and its GdipSaveImageToStream import, lets the real encoder run, and then,
// if asked, lays the stream out again as the encoder on Windows does.
#include <windows.h>

#include <cstdint>
#include <vector>

namespace vorlane::test {

enum class EncoderLayout {
    AsEncoded,     // what the encoder at hand wrote, untouched (Wine's, or the real one on Windows)
    Windows,       // IHDR, sRGB, gAMA, pHYs, IDATs ending on 64 KiB file offsets, IEND
    OlderWindows,  // IHDR, sRGB, gAMA, cHRM, the same IDATs, IEND; no pHYs
};

const char* name(EncoderLayout layout);
constexpr EncoderLayout kEncoderLayouts[] = {EncoderLayout::AsEncoded, EncoderLayout::Windows,
                                             EncoderLayout::OlderWindows};

// Redirects `module`'s save into a stream; every PNG the module then gets
// from the encoder is laid out as `layout` says and kept, in order, for the
// test to compare the file with.
bool use_encoder_layout(HMODULE module, EncoderLayout layout);
const std::vector<std::vector<std::uint8_t>>& encoded_frames();

// A PNG of width x height straight-alpha words A << 24 | R << 16 | G << 8 | B
// (rows `stride` bytes apart) laid out as the encoder on Windows lays it
// out: colour type 6 always, every row with filter None, one zlib stream
// (header 78 5E) in stored blocks, its IDATs cut where the encoder's 64 KiB
// buffer fills.
std::vector<std::uint8_t> windows_png(const std::uint8_t* argb, std::uint32_t width, std::uint32_t height,
                                      std::int32_t stride, std::uint32_t pixels_per_metre, bool older);

}  // namespace vorlane::test
