#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorlane {

struct ChunkRecord {
    std::int32_t offset;  // where the chunk's length field starts
    std::int32_t length;  // data length; the chunk occupies length + 12 bytes
    std::uint32_t type;   // see chunk_type()
};

// Splits one PNG stream into its chunks without trusting any length field.
// Neither the signature nor any CRC is checked.
struct ChunkScanner {
    // The table grows as needed: an encoder writing small IDAT chunks can put
    // hundreds of them in one large frame, and every one must be kept.
    static std::vector<ChunkRecord> scan(const std::uint8_t* bytes, std::size_t size);
    static void scan(const std::uint8_t* bytes, std::size_t size, std::vector<ChunkRecord>& table);
};

}  // namespace vorlane
