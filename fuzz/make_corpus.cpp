// Writes the seed corpora of the fuzz targets: frame streams from the
// platform PNG encoder, then truncated and mutated copies of them.
// Usage: make_corpus <corpus folder>  (writes <folder>/apng_writer, <folder>/frame_encoder)
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "encode/frame_converter.h"
#include "fuzz_input.h"
#include "platform/png_encoder.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes encode(std::int32_t w, std::int32_t h, std::uint32_t seed) {
    auto encoder = vorlane::start_png_encoder();
    vorlane::MemoryBlock argb = vorlane::MemoryBlock::allocate(std::size_t(w) * std::size_t(h) * 4, true);
    for (std::size_t i = 0; i < argb.size(); ++i) argb.data()[i] = std::uint8_t(seed * 31 + i * 7 + (i >> 3));
    vorlane::MemoryBlock png = encoder->encode(argb, w, h, nullptr, 0);
    return Bytes(png.data(), png.data() + png.size());
}

void put32(Bytes& b, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(std::uint8_t(v >> s));
}

Bytes chunk(const char* type, const Bytes& data) {
    Bytes c;
    put32(c, std::uint32_t(data.size()));
    c.insert(c.end(), type, type + 4);
    c.insert(c.end(), data.begin(), data.end());
    put32(c, std::uint32_t(crc32(crc32(0, reinterpret_cast<const Bytef*>(type), 4), data.data(), uInt(data.size()))));
    return c;
}

// The stream with its IDAT data re-cut into chunks of `piece` bytes, and
// `extra` inserted just after IHDR.
Bytes rechunk(const Bytes& png, std::size_t piece, const Bytes& extra = {}) {
    Bytes out(png.begin(), png.begin() + 8), idat;
    std::size_t pos = 8;
    while (pos + 12 <= png.size()) {
        const std::uint32_t len = std::uint32_t(png[pos]) << 24 | png[pos + 1] << 16 | png[pos + 2] << 8 | png[pos + 3];
        const std::string type(png.begin() + long(pos) + 4, png.begin() + long(pos) + 8);
        const Bytes whole(png.begin() + long(pos), png.begin() + long(pos + 12 + len));
        if (type == "IDAT") {
            idat.insert(idat.end(), whole.begin() + 8, whole.end() - 4);
        } else {
            if (type == "IEND")
                for (std::size_t i = 0; i < idat.size(); i += piece) {
                    const Bytes part(idat.begin() + long(i), idat.begin() + long(std::min(idat.size(), i + piece)));
                    const Bytes c = chunk("IDAT", part);
                    out.insert(out.end(), c.begin(), c.end());
                }
            out.insert(out.end(), whole.begin(), whole.end());
            if (type == "IHDR") out.insert(out.end(), extra.begin(), extra.end());
        }
        pos += 12 + len;
    }
    return out;
}

Bytes join(Bytes x, const Bytes& y) {
    x.insert(x.end(), y.begin(), y.end());
    return x;
}

void save(const fs::path& dir, const std::string& name, const Bytes& bytes) {
    std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
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
    const Bytes phys = chunk("pHYs", {0, 0, 0x0B, 0x13, 0, 0, 0x0B, 0x13, 1});
    const Bytes text = chunk("tEXt", {'k', 0, 'v'});
    save(writer_dir, "one_frame", run(0x10, {a}));
    save(writer_dir, "three_frames", run(0x24, {a, b, c}));
    save(writer_dir, "stopped_early", run(0x01, {a, b}));
    save(writer_dir, "negative_width", run(0x02, {a, b}));
    save(writer_dir, "phys_and_text", run(0x00, {rechunk(a, 1000, join(phys, text)), rechunk(b, 1000, phys)}));
    save(writer_dir, "two_idats_per_frame", run(0x00, {rechunk(a, 20), rechunk(b, 20), c}));
    save(writer_dir, "300_idats", run(0x00, {rechunk(a, 1), rechunk(b, 1)}));
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
        Bytes head(a.begin(), a.begin() + 33);  // signature and IHDR
        const Bytes iend = chunk("IEND", {}), idat = chunk("IDAT", {1, 2, 3});
        Bytes no_idat = head;
        no_idat.insert(no_idat.end(), iend.begin(), iend.end());
        save(writer_dir, "no_idat", run(0, {no_idat, b}));
        save(writer_dir, "no_idat_later", run(0, {a, no_idat}));
        Bytes no_iend = head;
        no_iend.insert(no_iend.end(), idat.begin(), idat.end());
        save(writer_dir, "no_iend", run(0, {no_iend, no_iend}));
        Bytes early_iend = head;
        early_iend.insert(early_iend.end(), iend.begin(), iend.end());
        early_iend.insert(early_iend.end(), idat.begin(), idat.end());
        early_iend.insert(early_iend.end(), iend.begin(), iend.end());
        save(writer_dir, "iend_before_idat", run(0, {early_iend, b}));
        Bytes own_actl = head;
        const Bytes actl = chunk("acTL", {0, 0, 0, 9, 0, 0, 0, 0});
        own_actl.insert(own_actl.end(), actl.begin(), actl.end());
        own_actl.insert(own_actl.end(), idat.begin(), idat.end());
        own_actl.insert(own_actl.end(), iend.begin(), iend.end());
        save(writer_dir, "encoder_actl", run(0, {own_actl, b}));
        Bytes trailing = a;
        trailing.insert(trailing.end(), {1, 2, 3, 4, 5});
        save(writer_dir, "trailing_bytes", run(0, {trailing, b}));
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
