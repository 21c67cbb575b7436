#include "apng_check.h"

#include <array>
#include <cstring>

namespace vorlane::check {
namespace {

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
std::uint16_t be16(const std::uint8_t* p) { return std::uint16_t(p[0] << 8 | p[1]); }

// Bitwise CRC-32, deliberately not the table-driven one under test.
std::uint32_t slow_crc(const std::uint8_t* p, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

std::string at(const Chunk& c, const std::string& what) {
    return what + " (" + c.type + " at byte " + std::to_string(c.offset) + ")";
}

}  // namespace

bool RecordingSink::write(const std::uint8_t* data, std::size_t size) {
    bytes.insert(bytes.end(), data, data + size);
    return true;
}

bool RecordingSink::overwrite(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
    if (offset > bytes.size() || size > bytes.size() - offset) {
        error = "overwrite past the written bytes at " + std::to_string(offset);
        return false;
    }
    std::memcpy(bytes.data() + offset, data, size);
    return true;
}

const std::vector<std::uint8_t>& trailer_bytes() {
    static const std::vector<std::uint8_t> bytes = {
        0x00, 0x00, 0x00, 0x10, 't',  'E',  'X',  't',  'C',  'o',  'm',  'm',  'e',  'n',
        't',  0x00, 'f',  'f',  'f',  'f',  'f',  'f',  'f',  'e',  0x2D, 0xE7, 0xDB, 0xA4,  // CRC
        0x00, 0x00, 0x00, 0x00, 'I',  'E',  'N',  'D',  0xAE, 0x42, 0x60, 0x82};
    return bytes;
}

std::string split_chunks(const std::uint8_t* bytes, std::size_t size, std::vector<Chunk>& out) {
    std::size_t pos = 0;
    while (pos < size) {
        if (size - pos < 12) return "a partial chunk at byte " + std::to_string(pos);
        const std::uint32_t length = be32(bytes + pos);
        if (length > 0x7FFFFFFFu) return "a length above 2^31 - 1 at byte " + std::to_string(pos);
        if (length > size - pos - 12) return "a chunk running past the end at byte " + std::to_string(pos);
        Chunk c{pos, length, std::string(reinterpret_cast<const char*>(bytes + pos + 4), 4), bytes + pos + 8, false};
        c.crc_ok = slow_crc(bytes + pos + 4, std::size_t(length) + 4) == be32(bytes + pos + 8 + length);
        out.push_back(c);
        pos += std::size_t(length) + 12;
    }
    return {};
}

std::string check_apng(const std::vector<std::uint8_t>& file, const Expected& e, Reading* reading) {
    const std::vector<std::uint8_t>& trailer = trailer_bytes();
    if (e.frames_written == 0) {
        if (file != trailer) return "a run without frames must leave exactly the trailer chunks";
        return {};
    }
    if (file.size() < 8 || std::memcmp(file.data(), kSignature, 8) != 0) return "no PNG signature";

    std::vector<Chunk> chunks;
    if (std::string err = split_chunks(file.data() + 8, file.size() - 8, chunks); !err.empty()) return err;
    for (Chunk& c : chunks) c.offset += 8;

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
    if (actl.length != 8 || !actl.crc_ok) return at(actl, "a malformed acTL");
    if (be32(actl.data) != e.frames_written)
        return "acTL announces " + std::to_string(be32(actl.data)) + " frames, the file holds " +
               std::to_string(e.frames_written);
    if (be32(actl.data + 4) != 0) return "acTL does not loop forever";

    std::uint32_t sequence = 0;
    for (std::uint32_t frame = 0; frame < e.frames_written; ++frame) {
        if (i == chunks.size()) return "frame " + std::to_string(frame) + " is missing";
        const Chunk& f = chunks[i++];
        if (f.type != "fcTL" || f.length != 26 || !f.crc_ok) return at(f, "a malformed or missing fcTL");
        const std::uint8_t* d = f.data;
        if (be32(d) != sequence++) return at(f, "an fcTL out of sequence");
        if (be32(d + 4) != e.width || be32(d + 8) != e.height) return at(f, "an fcTL with the wrong size");
        if (be32(d + 12) != 0 || be32(d + 16) != 0) return at(f, "an fcTL with an offset");
        if (be16(d + 20) != e.delay_num || be16(d + 22) != e.delay_den) return at(f, "an fcTL with the wrong delay");
        if (d[24] != 0 || d[25] != 0) return at(f, "an fcTL with dispose or blend set");

        std::vector<std::uint8_t> data;
        std::size_t image_chunks = 0;
        const char* image_type = frame == 0 ? "IDAT" : "fdAT";
        for (; i < chunks.size() && chunks[i].type == image_type; ++i, ++image_chunks) {
            const Chunk& c = chunks[i];
            if (frame == 0) {
                data.insert(data.end(), c.data, c.data + c.length);
                continue;
            }
            if (c.length < 4 || !c.crc_ok) return at(c, "a malformed fdAT");
            if (be32(c.data) != sequence++) return at(c, "an fdAT out of sequence");
            data.insert(data.end(), c.data + 4, c.data + c.length);
        }
        if (image_chunks == 0) return "frame " + std::to_string(frame) + " has no image data";
        r.frame_data.push_back(std::move(data));
    }

    const std::size_t tail = i < chunks.size() ? chunks[i].offset : file.size();
    if (file.size() - tail != trailer.size() ||
        std::memcmp(file.data() + tail, trailer.data(), trailer.size()) != 0)
        return "the file does not end with exactly the trailer chunks after its frames (byte " +
               std::to_string(tail) + ")";
    return {};
}

}  // namespace vorlane::check
