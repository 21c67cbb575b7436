// Writes the seed corpora of the fuzz targets: frame streams from the
// platform PNG encoder, then truncated and mutated copies of them.
// Usage: make_corpus <corpus folder>  (writes <folder>/apng_writer, <folder>/frame_encoder)
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "apng_reader.h"
#include "encode/frame_converter.h"
#include "fuzz_input.h"
#include "platform/png_encoder.h"

namespace {

namespace fs = std::filesystem;
namespace test = vorlane::test;
using test::append_chunk;
using test::Bytes;
using test::recut_png;

Bytes encode(std::int32_t w, std::int32_t h, std::uint32_t seed) {
    auto encoder = vorlane::start_png_encoder();
    vorlane::MemoryBlock argb = vorlane::MemoryBlock::allocate(std::size_t(w) * std::size_t(h) * 4, true);
    for (std::size_t i = 0; i < argb.size(); ++i) argb.data()[i] = std::uint8_t(seed * 31 + i * 7 + (i >> 3));
    vorlane::MemoryBlock png = encoder->encode(argb, w, h, nullptr, 0);
    return Bytes(png.data(), png.data() + png.size());
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

void save(const fs::path& dir, const std::string& name, const Bytes& bytes) {
    test::write_file(dir / name, bytes);
}

// One writer input: a flag byte, then the frames joined by the separator.
Bytes run(std::uint8_t flags, const std::vector<Bytes>& frames) {
    Bytes in{flags};
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (i) in.insert(in.end(), vorlane::fuzz::kSeparator, vorlane::fuzz::kSeparator + vorlane::fuzz::kSeparatorSize);
        in.insert(in.end(), frames[i].begin(), frames[i].end());
    }
    return in;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const fs::path writer_dir = fs::path(argv[1]) / "apng_writer", encoder_dir = fs::path(argv[1]) / "frame_encoder";
    fs::create_directories(writer_dir);
    fs::create_directories(encoder_dir);

    const Bytes a = encode(5, 3, 1), b = encode(5, 3, 2), c = encode(5, 3, 3);
    Bytes phys, text;
    append_chunk(phys, "pHYs", {0, 0, 0x0B, 0x13, 0, 0, 0x0B, 0x13, 1});
    append_chunk(text, "tEXt", {'k', 0, 'v'});
    save(writer_dir, "one_frame", run(0x10, {a}));
    save(writer_dir, "three_frames", run(0x24, {a, b, c}));
    save(writer_dir, "stopped_early", run(0x01, {a, b}));
    save(writer_dir, "negative_width", run(0x02, {a, b}));
    save(writer_dir, "phys_and_text", run(0x00, {recut_png(a, 1000, join({phys, text})), recut_png(b, 1000, phys)}));
    save(writer_dir, "two_idats_per_frame", run(0x00, {recut_png(a, 20), recut_png(b, 20), c}));
    save(writer_dir, "300_idats", run(0x00, {recut_png(a, 1), recut_png(b, 1)}));
    for (std::size_t cut : {0, 4, 7, 8, 20, 33, 45}) save(writer_dir, "frame0_cut_" + std::to_string(cut), run(0, {Bytes(a.begin(), a.begin() + long(cut)), b}));
    for (std::size_t cut : {0, 12, 40}) save(writer_dir, "frame1_cut_" + std::to_string(cut), run(0, {a, Bytes(b.begin(), b.end() - long(cut) - 1), c}));
    {
        Bytes huge = b;
        huge[33] = 0x40, huge[34] = 0, huge[35] = 0, huge[36] = 1;  // first IDAT length 2^30 + 1
        save(writer_dir, "length_above_limit", run(0, {a, huge}));
        Bytes wrap = a;
        wrap[33] = 0xFF, wrap[34] = 0xFF, wrap[35] = 0xFF, wrap[36] = 0xF8;  // would wrap a 32-bit offset
        save(writer_dir, "length_wraps", run(0, {wrap, b}));
        Bytes no_sig = a;
        no_sig[1] = 'Q';
        save(writer_dir, "bad_signature", run(0, {no_sig, b}));
    }
    {
        const Bytes head(a.begin(), a.begin() + 33);  // signature and IHDR
        // These seeds' IEND has carried a CRC of 0 from the start, and keeps
        // it: the writer passes a frame's chunks on as they came.
        const Bytes iend = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0, 0, 0, 0};
        Bytes idat, actl;
        append_chunk(idat, "IDAT", {1, 2, 3});
        append_chunk(actl, "acTL", {0, 0, 0, 9, 0, 0, 0, 0});
        save(writer_dir, "no_idat", run(0, {join({head, iend}), b}));
        save(writer_dir, "no_idat_later", run(0, {a, join({head, iend})}));
        save(writer_dir, "no_iend", run(0, {join({head, idat}), join({head, idat})}));
        save(writer_dir, "iend_before_idat", run(0, {join({head, iend, idat, iend}), b}));
        save(writer_dir, "encoder_actl", run(0, {join({head, actl, idat, iend}), b}));
        save(writer_dir, "trailing_bytes", run(0, {join({a, {1, 2, 3, 4, 5}}), b}));
    }

    // Frame encoder: fitted sizes with edge-value pixels, then raw sizes.
    const std::uint16_t edges[] = {0x0000, 0x8000, 0x0001, 0x03FF, 0x3C00, 0x3800, 0x1C04, 0x3E00,
                                   0xBC00, 0x7C00, 0xFC00, 0x7E00, 0x7C01, 0x4000, 0x3A35, 0x0400};
    Bytes pixels;
    for (int i = 0; i < 64; ++i) {
        const std::uint16_t v = edges[(i * 5 + i / 16) % 16];
        pixels.push_back(std::uint8_t(v)), pixels.push_back(std::uint8_t(v >> 8));
    }
    for (std::uint8_t mode : {0, 2})
        for (std::uint8_t w : {0, 2, 7}) {
            Bytes in{mode, w};
            in.insert(in.end(), pixels.begin(), pixels.end());
            save(encoder_dir, "fitted_" + std::to_string(mode) + "_" + std::to_string(w), in);
        }
    const std::pair<std::int32_t, std::int32_t> sizes[] = {
        {0, 1}, {1, 0}, {-1, 5}, {5, -1}, {INT32_MIN, INT32_MIN}, {65536, 8192}, {46341, 46341},
        {INT32_MAX, 1}, {536870912, 1}, {536870911, 1}, {2, 4}};
    for (auto [w, h] : sizes) {
        Bytes in{3};
        for (std::int32_t v : {w, h})
            for (int s = 0; s < 32; s += 8) in.push_back(std::uint8_t(std::uint32_t(v) >> s));
        in.insert(in.end(), pixels.begin(), pixels.end());
        save(encoder_dir, "raw_" + std::to_string(w) + "x" + std::to_string(h), in);
    }
    return 0;
}
