#include "apng/chunk_scanner.h"

#include "apng/big_endian.h"

namespace vorlane {

std::vector<ChunkRecord> ChunkScanner::scan(const std::uint8_t* bytes, std::size_t size) {
    std::vector<ChunkRecord> table;
    scan(bytes, size, table);
    return table;
}

void ChunkScanner::scan(const std::uint8_t* bytes, std::size_t size, std::vector<ChunkRecord>& table) {
    table.clear();
    constexpr std::uint32_t kMaxLength = 0x40000000u;
    // Offsets are stored as int32; a frame never comes near that, but a
    // longer buffer must not wrap them.
    constexpr std::uint64_t kMaxOffset = 0x7FFFFFFFu;
    std::uint64_t offset = 8;  // past the signature
    while (offset + 12 <= size && offset <= kMaxOffset) {
        const std::uint32_t length = load_be32(bytes + offset);
        if (length > kMaxLength) return;
        const std::uint64_t next = offset + 12 + length;  // cannot wrap in 64 bits
        if (next > size) return;                          // runs past the end: not recorded
        table.push_back({static_cast<std::int32_t>(offset), static_cast<std::int32_t>(length),
                         load_be32(bytes + offset + 4)});
        if (next == size) return;
        offset = next;
    }
}

}  // namespace vorlane
