#include "apng_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <new>

namespace vorlane::test {

namespace {

constexpr std::uint32_t kMaxLength = 0x7FFFFFFF;  // of a chunk, and of a side
// Refused before allocating, so that a few hostile bytes cannot claim gigabytes: one
// canvas, and all the frames handed back together (2 GiB of RGBA).
constexpr std::uint64_t kMaxCanvasPixels = std::uint64_t(1) << 28;
constexpr std::uint64_t kMaxOutputPixels = std::uint64_t(1) << 29;
// Deflate's best is a 258-byte match in two bits, so no stream inflates beyond 1032 times its
// size; a frame claiming more is refused before its rows are allocated.
constexpr std::uint64_t kMaxInflateRatio = 1032;

std::uint32_t zlib_crc(const std::uint8_t* p, std::size_t n) {
    return std::uint32_t(crc32(crc32(0, nullptr, 0), p, uInt(n)));
}

bool has_signature(const Bytes& file) {
    return file.size() >= 8 && std::equal(kPngSignature.begin(), kPngSignature.end(), file.begin());
}

std::string at_byte(std::size_t offset) { return " at byte " + std::to_string(offset); }

std::string at(const Chunk& c, const std::string& what) {
    return what + " (" + c.type + at_byte(c.offset) + ")";
}

std::string size_text(std::uint32_t width, std::uint32_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

}  // namespace

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

std::uint16_t be16(const std::uint8_t* p) { return std::uint16_t(p[0] << 8 | p[1]); }

std::vector<std::string> Chunks::types() const {
    std::vector<std::string> types;
    for (const Chunk& c : list) types.push_back(c.type);
    return types;
}

std::size_t Chunks::count(const std::string& type) const {
    return std::size_t(std::count_if(list.begin(), list.end(), [&](const Chunk& c) { return c.type == type; }));
}

const Chunk* Chunks::find(const std::string& type) const {
    const auto it = std::find_if(list.begin(), list.end(), [&](const Chunk& c) { return c.type == type; });
    return it == list.end() ? nullptr : &*it;
}

Chunks read_chunks(const Bytes& bytes, std::size_t start) {
    Chunks chunks;
    if (start > bytes.size()) chunks.error = "no byte" + at_byte(start);
    for (std::size_t offset = start; offset < bytes.size();) {
        const std::size_t left = bytes.size() - offset;
        const std::uint32_t length = left < 12 ? 0 : be32(&bytes[offset]);
        if (left < 12) chunks.error = "a partial chunk" + at_byte(offset);
        else if (length > kMaxLength) chunks.error = "a length above 2^31 - 1" + at_byte(offset);
        else if (length > left - 12) chunks.error = "a chunk running past the end" + at_byte(offset);
        if (!chunks.error.empty()) break;
        const auto data = bytes.begin() + std::ptrdiff_t(offset + 8);
        chunks.list.push_back({offset, std::string(data - 4, data), Bytes(data, data + length),
                               zlib_crc(&bytes[offset + 4], length + 4) == be32(&bytes[offset + 8 + length])});
        offset += 12 + std::size_t(length);
    }
    return chunks;
}

const Bytes kPngSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

void append_chunk(Bytes& out, const char* type, const Bytes& data) {
    const std::size_t start = out.size();
    for (int s = 24; s >= 0; s -= 8) out.push_back(std::uint8_t(data.size() >> s));
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const std::uint32_t crc = zlib_crc(&out[start + 4], data.size() + 4);
    for (int s = 24; s >= 0; s -= 8) out.push_back(std::uint8_t(crc >> s));
}

Bytes make_png(const std::vector<std::pair<const char*, std::size_t>>& chunks, std::uint8_t fill) {
    Bytes out = kPngSignature;
    for (const auto& [type, size] : chunks) append_chunk(out, type, Bytes(size, fill++));
    return out;
}

Bytes recut_png(const Bytes& png, std::size_t piece, const Bytes& extra) {
    const Chunks chunks = read_chunks(png);
    const Chunk* first_idat = chunks.find("IDAT");
    Bytes out = kPngSignature, data;
    for (const Chunk& c : chunks.list)
        if (c.type == "IDAT") data.insert(data.end(), c.data.begin(), c.data.end());
    for (const Chunk& c : chunks.list) {
        const auto whole = png.begin() + std::ptrdiff_t(c.offset);
        if (c.type != "IDAT") out.insert(out.end(), whole, whole + std::ptrdiff_t(12 + c.data.size()));
        for (std::size_t i = 0; &c == first_idat && piece > 0 && i < data.size(); i += piece) {
            const auto from = data.begin() + std::ptrdiff_t(i);
            append_chunk(out, "IDAT", Bytes(from, from + std::ptrdiff_t(std::min(piece, data.size() - i))));
        }
        if (c.type == "IHDR") out.insert(out.end(), extra.begin(), extra.end());
    }
    return out;
}

const Bytes& trailer_bytes() {
    static const Bytes bytes = {
        0x00, 0x00, 0x00, 0x10, 't',  'E',  'X',  't',  'C',  'o',  'm',  'm',  'e',  'n',
        't',  0x00, 'f',  'f',  'f',  'f',  'f',  'f',  'f',  'e',  0x2D, 0xE7, 0xDB, 0xA4,  // CRC
        0x00, 0x00, 0x00, 0x00, 'I',  'E',  'N',  'D',  0xAE, 0x42, 0x60, 0x82};
    return bytes;
}

std::string check_apng(const Bytes& file, const Expected& e, Reading* reading) {
    const Bytes& trailer = trailer_bytes();
    if (e.frames_written == 0)
        return file == trailer ? "" : "a run without frames must leave exactly the trailer chunks";
    if (!has_signature(file)) return "no PNG signature";
    const Chunks read = read_chunks(file);
    if (!read.error.empty()) return read.error;
    const std::vector<Chunk>& chunks = read.list;

    std::size_t i = 0;
    Reading local;
    Reading& r = reading ? *reading : local;
    r = {};
    for (; i < chunks.size() && chunks[i].type != "acTL"; ++i) {
        const Chunk& c = chunks[i];
        if (i == 0 && c.type != "IHDR") return at(c, "the first chunk is not IHDR");
        for (const char* banned : {"IDAT", "fdAT", "fcTL", "IEND", "pHYs"})
            if (c.type == banned) return at(c, "a chunk that does not belong in the header");
        r.header.push_back(c);
    }
    if (r.header.empty()) return "no header chunks before acTL";
    if (i == chunks.size()) return "no acTL";

    const Chunk& actl = chunks[i++];
    if (actl.data.size() != 8 || !actl.crc_ok) return at(actl, "a malformed acTL");
    if (be32(actl.data.data()) != e.frames_written)
        return "acTL announces " + std::to_string(be32(actl.data.data())) + " frames, the file holds " +
               std::to_string(e.frames_written);
    if (be32(actl.data.data() + 4) != 0) return "acTL does not loop forever";

    std::uint32_t sequence = 0;
    for (std::uint32_t frame = 0; frame < e.frames_written; ++frame) {
        if (i == chunks.size()) return "frame " + std::to_string(frame) + " is missing";
        const Chunk& f = chunks[i++];
        if (f.type != "fcTL" || f.data.size() != 26 || !f.crc_ok) return at(f, "a malformed or missing fcTL");
        const std::uint8_t* d = f.data.data();
        if (be32(d) != sequence++) return at(f, "an fcTL out of sequence");
        if (be32(d + 4) != e.width || be32(d + 8) != e.height) return at(f, "an fcTL with the wrong size");
        if (be32(d + 12) != 0 || be32(d + 16) != 0) return at(f, "an fcTL with an offset");
        if (be16(d + 20) != e.delay_num || be16(d + 22) != e.delay_den) return at(f, "an fcTL with the wrong delay");
        if (d[24] != 0 || d[25] != 0) return at(f, "an fcTL with dispose or blend set");

        Bytes data;
        std::size_t image_chunks = 0;
        const char* image_type = frame == 0 ? "IDAT" : "fdAT";
        for (; i < chunks.size() && chunks[i].type == image_type; ++i, ++image_chunks) {
            const Chunk& c = chunks[i];
            if (frame == 0) {
                data.insert(data.end(), c.data.begin(), c.data.end());
                continue;
            }
            if (c.data.size() < 4 || !c.crc_ok) return at(c, "a malformed fdAT");
            if (be32(c.data.data()) != sequence++) return at(c, "an fdAT out of sequence");
            data.insert(data.end(), c.data.begin() + 4, c.data.end());
        }
        if (image_chunks == 0) return "frame " + std::to_string(frame) + " has no image data";
        r.frame_data.push_back(std::move(data));
    }

    const std::size_t tail = i < chunks.size() ? chunks[i].offset : file.size();
    if (Bytes(file.begin() + std::ptrdiff_t(tail), file.end()) != trailer)
        return "the file does not end with exactly the trailer chunks after its frames (byte " +
               std::to_string(tail) + ")";
    return {};
}

double DecodedFrame::duration_ms() const {
    return 1000.0 * delay_num / (delay_den == 0 ? 100 : delay_den);
}

namespace {

struct Span { const std::uint8_t* data; std::size_t size; };

// A frame's region, timing and compressed data, as its chunks give them.
struct Frame {
    std::string where;  // names it in messages
    std::uint32_t x = 0, y = 0, width = 0, height = 0;
    std::uint16_t delay_num = 0, delay_den = 0;
    std::uint8_t dispose = 0, blend = 0;
    std::vector<Span> data;
};

// Chunks that say how to read the image data, and so come before it: at most one of each,
// of a fixed length where they have one (0: any).
struct LeadingChunk { const char* type; std::uint32_t length; };
constexpr LeadingChunk kLeadingChunks[] = {{"PLTE", 0}, {"acTL", 8}, {"sRGB", 1},  {"gAMA", 4},
                                           {"cHRM", 32}, {"iCCP", 0}, {"pHYs", 9}};

int paeth(int left, int above, int upper_left) {
    const int estimate = left + above - upper_left;
    const int to_left = std::abs(estimate - left), to_above = std::abs(estimate - above);
    const int to_upper_left = std::abs(estimate - upper_left);
    if (to_left <= to_above && to_left <= to_upper_left) return left;
    return to_above <= to_upper_left ? above : upper_left;
}

// Undoes one row's filter in place; `above` is the row above, already undone (zeros for the first).
void unfilter_row(int filter, std::uint8_t* row, const std::uint8_t* above, std::size_t stride, std::size_t bpp) {
    for (std::size_t i = 0; i < stride; ++i) {
        const int left = i >= bpp ? row[i - bpp] : 0, upper_left = i >= bpp ? above[i - bpp] : 0;
        const int predicted = filter == 1   ? left
                              : filter == 2 ? above[i]
                              : filter == 3 ? (left + above[i]) / 2
                              : filter == 4 ? paeth(left, above[i], upper_left)
                                            : 0;
        row[i] = std::uint8_t(row[i] + predicted);
    }
}

// Straight-alpha "over". Alpha x 255 is sa*255 + da*(255-sa) exactly; colour is divided by that
// unrounded sum, and alpha and colour are each rounded to nearest once. So an opaque source
// gives itself, an opaque canvas stays opaque, and a colour both share is kept.
void blend_over(const std::uint8_t* source, std::uint8_t* canvas) {
    const unsigned source_alpha = source[3];
    if (source_alpha == 255) {
        std::copy_n(source, 4, canvas);
        return;
    }
    if (source_alpha == 0) return;
    const unsigned source_weight = source_alpha * 255, canvas_weight = canvas[3] * (255 - source_alpha);
    const unsigned alpha_255 = source_weight + canvas_weight;  // not 0: the source is not transparent
    for (int c = 0; c < 3; ++c)
        canvas[c] = std::uint8_t((source[c] * source_weight + canvas[c] * canvas_weight + alpha_255 / 2) / alpha_255);
    canvas[3] = std::uint8_t((alpha_255 + 127) / 255);
}

class Decoder {
public:
    explicit Decoder(const Bytes& file) : file_(file) {}
    const std::string& error() const { return error_; }

    bool run(DecodedApng& out) {
        if (!read_all()) return false;
        if (!animated_) {
            frames_.push_back(std::move(default_image_));
            idat_is_frame_ = true;
        }
        if (frames_.size() * std::uint64_t(width_) * height_ > kMaxOutputPixels)
            return fail(std::to_string(frames_.size()) + " frames of " + size_text(width_, height_) +
                        ": too many pixels to decode here");
        Bytes unused;  // shown or not, the default image has to decode
        if (!idat_is_frame_ && !decode_pixels(default_image_, unused)) return false;
        out.animated = animated_;
        out.plays = plays_;
        return compose(out);
    }

private:
    bool fail(std::string why) { error_ = std::move(why); return false; }
    bool fail(const Chunk& c, const std::string& why) { return fail(c.type + at_byte(c.offset) + ": " + why); }

    bool read_all() {
        if (!has_signature(file_)) return fail("no PNG signature");
        chunks_ = read_chunks(file_);
        const auto is_letter = [](char ch) { return (ch | 0x20) >= 'a' && (ch | 0x20) <= 'z'; };
        for (const Chunk& c : chunks_.list) {
            if (!std::all_of(c.type.begin(), c.type.end(), is_letter))
                return fail("chunk" + at_byte(c.offset) + ": its type is not four letters");
            if (!c.crc_ok) return fail(c, "CRC mismatch");
            if (c.offset == 8 && c.type != "IHDR") return fail(c, "the first chunk is not IHDR");
            if (!read_chunk(c)) return false;
            const std::size_t end = c.offset + 12 + c.data.size();
            if (c.type == "IEND")
                return end == file_.size() ? finish_chunks(c)
                                           : fail(c, std::to_string(file_.size() - end) + " bytes after it");
        }
        return fail(chunks_.error.empty() ? "the file ends without IEND" : chunks_.error);
    }

    bool read_chunk(const Chunk& c) {
        const bool idat = c.type == "IDAT";
        if (seen_idat_ && !idat) idat_run_over_ = true;
        for (std::size_t i = 0; i < std::size(kLeadingChunks); ++i)
            if (c.type == kLeadingChunks[i].type) return read_leading(c, i);
        if (c.type == "IHDR") return c.offset == 8 ? read_ihdr(c) : fail(c, "a second IHDR");
        if (idat) {
            if (idat_run_over_) return fail(c, "the IDAT chunks are not consecutive");
            if (!seen_idat_) default_image_.where = "the image (IDAT" + at_byte(c.offset) + ")";
            seen_idat_ = true;
            (idat_is_frame_ ? frames_.front() : default_image_).data.push_back({c.data.data(), c.data.size()});
            return true;
        }
        if (c.type == "IEND") return c.data.empty() || fail(c, "not empty");
        if (c.type == "fcTL" || c.type == "fdAT") {
            const bool fctl = c.type == "fcTL";
            if (!animated_) return fail(c, "without acTL before it");
            if (fctl ? c.data.size() != 26 : c.data.size() < 4)
                return fail(c, "length " + std::to_string(c.data.size()) + (fctl ? ", not 26" : ", under 4"));
            if (be32(c.data.data()) != next_sequence_)
                return fail(c, "sequence number " + std::to_string(be32(c.data.data())) + ", not " +
                                   std::to_string(next_sequence_));
            ++next_sequence_;
            return fctl ? read_fctl(c) : read_fdat(c);
        }
        // It would make one RGB colour transparent, which is not done here; RGBA may not carry it.
        if (c.type == "tRNS") return fail(c, "unsupported");
        return (c.type[0] & 0x20) != 0 || fail(c, "unknown critical chunk");  // ancillary ones change no pixel
    }

    bool read_ihdr(const Chunk& c) {
        if (c.data.size() != 13) return fail(c, "length " + std::to_string(c.data.size()) + ", not 13");
        width_ = default_image_.width = be32(c.data.data());
        height_ = default_image_.height = be32(c.data.data() + 4);
        const unsigned depth = c.data[8], colour = c.data[9];
        if (width_ == 0 || height_ == 0 || width_ > kMaxLength || height_ > kMaxLength)
            return fail(c, "size " + size_text(width_, height_) + " out of range");
        if (std::uint64_t(width_) * height_ > kMaxCanvasPixels)
            return fail(c, "size " + size_text(width_, height_) + " too large to decode here");
        if (depth != 8 || (colour != 2 && colour != 6))
            return fail(c, "unsupported: bit depth " + std::to_string(depth) + ", colour type " +
                               std::to_string(colour));
        if (c.data[10] != 0 || c.data[11] != 0) return fail(c, "unknown compression or filter method");
        if (c.data[12] != 0) return fail(c, c.data[12] == 1 ? "interlaced: unsupported" : "unknown interlace method");
        bytes_per_pixel_ = colour == 6 ? 4 : 3;
        return true;
    }

    bool read_leading(const Chunk& c, std::size_t rule) {
        if (seen_idat_) return fail(c, "after the first IDAT");
        if ((leading_seen_ >> rule) & 1) return fail(c, "a second one");
        leading_seen_ |= 1u << rule;
        const std::uint32_t length = kLeadingChunks[rule].length;
        if (length != 0 && c.data.size() != length)
            return fail(c, "length " + std::to_string(c.data.size()) + ", not " + std::to_string(length));
        // RGB and RGBA may carry a palette as a hint for small displays; it changes no pixel.
        if (c.type == "PLTE" && (c.data.size() % 3 != 0 || c.data.size() == 0 || c.data.size() > 768))
            return fail(c, "not 1 to 256 entries");
        if (c.type != "acTL") return true;
        animated_ = true;
        num_frames_ = be32(c.data.data());
        plays_ = be32(c.data.data() + 4);
        return num_frames_ >= 1 || fail(c, "no frames");
    }

    bool read_fctl(const Chunk& c) {
        if (!frames_.empty() && frames_.back().data.empty()) return fail(c, "the frame before it has no data");
        // After the sequence number: width, height, x, y, delay num and den, dispose and blend ops.
        const std::uint8_t* d = c.data.data();
        Frame f{"frame " + std::to_string(frames_.size()) + " (fcTL" + at_byte(c.offset) + ")",
                be32(d + 12), be32(d + 16), be32(d + 4), be32(d + 8), be16(d + 20), be16(d + 22), d[24], d[25], {}};
        if (f.width == 0 || f.height == 0) return fail(c, "empty region " + size_text(f.width, f.height));
        if (f.x > width_ || f.width > width_ - f.x || f.y > height_ || f.height > height_ - f.y)
            return fail(c, "region " + size_text(f.width, f.height) + " at " + std::to_string(f.x) + ", " +
                               std::to_string(f.y) + " outside the canvas");
        if (f.dispose > 2 || f.blend > 1) return fail(c, "unknown dispose or blend op");
        if (!seen_idat_) {
            // Its data are then the IDATs, the default image, which is always the whole picture.
            if (f.x != 0 || f.y != 0 || f.width != width_ || f.height != height_)
                return fail(c, "the IDATs' frame does not cover the canvas");
            idat_is_frame_ = true;
        }
        frames_.push_back(std::move(f));
        return true;
    }

    bool read_fdat(const Chunk& c) {
        if (frames_.empty()) return fail(c, "before any fcTL");
        if (!seen_idat_) return fail(c, "before the IDATs");
        if (idat_is_frame_ && frames_.size() == 1) return fail(c, "in the frame the IDATs hold");
        frames_.back().data.push_back({c.data.data() + 4, c.data.size() - 4});
        return true;
    }

    bool finish_chunks(const Chunk& iend) {
        if (!seen_idat_) return fail(iend, "no IDAT before it");
        if (animated_ && frames_.size() != num_frames_)
            return fail("acTL gives " + std::to_string(num_frames_) + " frames, the fcTL chunks " +
                        std::to_string(frames_.size()));
        return frames_.empty() || !frames_.back().data.empty() || fail(frames_.back().where + ": no data");
    }

    // The frame's data, however its chunks cut it, must be one zlib stream giving exactly `size` bytes.
    bool inflate_frame(const Frame& f, std::size_t size, Bytes& raw) {
        std::uint64_t packed = 0, consumed = 0;
        for (const Span& s : f.data) packed += s.size;
        if (size > packed * kMaxInflateRatio)
            return fail(f.where + ": " + std::to_string(packed) + " bytes cannot hold " + size_text(f.width, f.height));
        raw.assign(size, 0);
        z_stream z{};
        if (inflateInit(&z) != Z_OK) return fail(f.where + ": zlib cannot start");
        z.next_out = raw.data();
        z.avail_out = uInt(size);  // under 2^31: the canvas is at most 2^28 pixels
        int status = Z_OK;
        for (std::size_t i = 0; i < f.data.size() && status == Z_OK; ++i) {
            z.next_in = const_cast<Bytef*>(f.data[i].data);  // zlib only reads it
            z.avail_in = uInt(f.data[i].size);  // under 2^31, as every chunk
            while (z.avail_in > 0 && status == Z_OK) status = inflate(&z, Z_NO_FLUSH);
            consumed += f.data[i].size - z.avail_in;
        }
        std::string why;
        if (status == Z_STREAM_END && z.avail_out > 0)
            why = "inflates to " + std::to_string(size - z.avail_out) + " bytes, not " + std::to_string(size);
        else if (status == Z_STREAM_END && consumed != packed)
            why = "data after the end of its zlib stream";
        else if (status == Z_OK)
            why = "its zlib stream does not end";
        else if (status == Z_BUF_ERROR)
            why = "inflates to more than " + std::to_string(size) + " bytes";
        else if (status != Z_STREAM_END)
            why = "zlib: " + (z.msg != nullptr ? std::string(z.msg) : "error " + std::to_string(status));
        inflateEnd(&z);
        return why.empty() || fail(f.where + ": " + why);
    }

    bool decode_pixels(const Frame& f, Bytes& rgba) {
        const std::size_t stride = std::size_t(f.width) * bytes_per_pixel_;
        Bytes raw;
        if (!inflate_frame(f, (stride + 1) * f.height, raw)) return false;
        const Bytes zeros(stride, 0);
        rgba.resize(std::size_t(f.width) * f.height * 4);
        for (std::size_t y = 0; y < f.height; ++y) {
            std::uint8_t* row = raw.data() + y * (stride + 1);
            const int filter = *row++;
            if (filter > 4)
                return fail(f.where + ": row " + std::to_string(y) + " has filter type " + std::to_string(filter));
            unfilter_row(filter, row, y == 0 ? zeros.data() : row - (stride + 1), stride, bytes_per_pixel_);
            std::uint8_t* out = rgba.data() + y * f.width * 4;
            for (std::size_t x = 0; x < f.width; ++x, row += bytes_per_pixel_, out += 4) {
                std::copy_n(row, 3, out);
                out[3] = bytes_per_pixel_ == 4 ? row[3] : 255;
            }
        }
        return true;
    }

    bool compose(DecodedApng& out) {
        Bytes canvas, saved, pixels;
        for (std::size_t i = 0; i < frames_.size(); ++i) {
            const Frame& f = frames_[i];
            if (!decode_pixels(f, pixels)) return false;
            // Only now that data the canvas's size has inflated: a few bytes cannot claim a huge canvas.
            canvas.resize(std::size_t(width_) * height_ * 4);
            // Before the first frame nothing was shown to go back to, so it is cleared instead.
            const int dispose = i == 0 && f.dispose == 2 ? 1 : f.dispose;
            if (dispose == 2) saved = canvas;
            const std::size_t region_row = std::size_t(f.width) * 4;
            const auto canvas_row = [&](std::size_t y) { return canvas.data() + ((f.y + y) * width_ + f.x) * 4; };
            for (std::size_t y = 0; y < f.height; ++y) {
                const std::uint8_t* from = pixels.data() + y * region_row;
                if (f.blend == 0)
                    std::copy_n(from, region_row, canvas_row(y));
                else
                    for (std::size_t x = 0; x < region_row; x += 4) blend_over(from + x, canvas_row(y) + x);
            }
            out.frames.push_back({width_, height_, f.delay_num, f.delay_den, canvas});
            for (std::size_t y = 0; dispose == 1 && y < f.height; ++y)
                std::fill_n(canvas_row(y), region_row, std::uint8_t(0));
            if (dispose == 2) canvas.swap(saved);
        }
        return true;
    }

    const Bytes& file_;
    Chunks chunks_;  // the frames' data point into it
    std::string error_;
    std::uint32_t width_ = 0, height_ = 0, bytes_per_pixel_ = 4;
    bool seen_idat_ = false, idat_run_over_ = false, idat_is_frame_ = false, animated_ = false;
    std::uint32_t num_frames_ = 0, plays_ = 0, next_sequence_ = 0, leading_seen_ = 0;  // a bit per kLeadingChunks
    Frame default_image_;
    std::vector<Frame> frames_;
};

}  // namespace

DecodedApng decode_apng(const Bytes& file) {
    DecodedApng out;
    try {
        Decoder decoder(file);
        if (decoder.run(out)) return out;
        out = DecodedApng{};
        out.error = decoder.error();
    } catch (const std::bad_alloc&) {
        out = DecodedApng{};
        out.error = "out of memory";
    }
    return out;
}

Bytes read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace vorlane::test
