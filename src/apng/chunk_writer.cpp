#include "apng/chunk_writer.h"

#include "apng/big_endian.h"
#include "apng/crc32.h"

namespace vorlane {

void ChunkWriter::frame(std::uint8_t* buffer, std::size_t pos, std::size_t total, std::uint32_t type) {
    std::uint8_t* chunk = buffer + pos;
    store_be32(chunk, static_cast<std::uint32_t>(total - 12));
    store_be32(chunk + 4, type);
    store_be32(chunk + total - 4, crc32(chunk + 4, total - 8));
}

}  // namespace vorlane
