#pragma once
// Test helpers: an in-memory sink for the APNG writer, a strict chunk walk
// of written files, and small builders of PNG-like streams.
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "apng/byte_sink.h"

namespace vorlane::test {

using Bytes = std::vector<std::uint8_t>;

class MemorySink final : public ByteSink {
public:
    bool write(const std::uint8_t* data, std::size_t size) override {
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
    bool overwrite(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override {
        std::memcpy(bytes.data() + offset, data, size);
        return true;
    }
    Bytes bytes;
};

inline std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

inline std::uint32_t zlib_crc(const std::uint8_t* p, std::size_t n) {
    return static_cast<std::uint32_t>(::crc32(::crc32(0, nullptr, 0), p, static_cast<uInt>(n)));
}

struct Chunk {
    std::string type;
    Bytes data;
    bool crc_ok;
};

// Walks chunks from `offset`; stops at the end, failing the walk (complete =
// false) if a chunk runs past it.
struct ChunkWalk {
    std::vector<Chunk> chunks;
    bool complete = true;
    std::vector<std::string> types() const {
        std::vector<std::string> t;
        for (const auto& c : chunks) t.push_back(c.type);
        return t;
    }
};

inline ChunkWalk walk_chunks(const Bytes& bytes, std::size_t offset) {
    ChunkWalk walk;
    while (offset < bytes.size()) {
        if (bytes.size() - offset < 12) {
            walk.complete = false;
            break;
        }
        const std::uint32_t length = be32(&bytes[offset]);
        if (length > bytes.size() - offset - 12) {
            walk.complete = false;
            break;
        }
        Chunk c;
        c.type.assign(reinterpret_cast<const char*>(&bytes[offset + 4]), 4);
        c.data.assign(bytes.begin() + std::ptrdiff_t(offset + 8), bytes.begin() + std::ptrdiff_t(offset + 8 + length));
        c.crc_ok = zlib_crc(&bytes[offset + 4], length + 4) == be32(&bytes[offset + 8 + length]);
        walk.chunks.push_back(std::move(c));
        offset += 12 + length;
    }
    return walk;
}

inline const Bytes kSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// Appends a correctly framed chunk.
inline void append_chunk(Bytes& out, const char* type, const Bytes& data) {
    const std::size_t start = out.size();
    for (int s = 24; s >= 0; s -= 8) out.push_back(std::uint8_t(data.size() >> s));
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const std::uint32_t crc = zlib_crc(&out[start + 4], data.size() + 4);
    for (int s = 24; s >= 0; s -= 8) out.push_back(std::uint8_t(crc >> s));
}

// Signature then the given chunks, each with `fill` data bytes of its own.
inline Bytes make_png(const std::vector<std::pair<const char*, std::size_t>>& chunks, std::uint8_t fill = 0x5A) {
    Bytes out = kSignature;
    for (const auto& [type, size] : chunks) append_chunk(out, type, Bytes(size, fill++));
    return out;
}

inline Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace vorlane::test
