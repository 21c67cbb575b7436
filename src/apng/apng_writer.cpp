#include "apng/apng_writer.h"

#include <cstring>

#include "apng/big_endian.h"
#include "apng/chunk_type.h"
#include "apng/chunk_writer.h"

namespace vorlane {
namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::size_t kActlSize = 20;
constexpr std::size_t kFctlSize = 38;

// A standard tEXt chunk: keyword "Comment", a zero byte, text "fffffffe".
constexpr char kTrailerText[] = "Comment\0fffffffe";
constexpr std::size_t kTrailerTextData = sizeof(kTrailerText) - 1;
static_assert(kTrailerTextData == 16);

}  // namespace

bool ApngWriter::accepts(const std::uint8_t* bytes, std::size_t size) const {
    if (size < 8 || std::memcmp(bytes, kPngSignature, 8) != 0) return false;
    const std::vector<ChunkRecord> table = ChunkScanner::scan(bytes, size);
    if (table.empty() || table.front().type != kIHDR || table.back().type != kIEND) return false;
    // The scan stops early at a bad length or a short chunk; only a walk that
    // reaches the very end saw every chunk.
    const ChunkRecord& last = table.back();
    if (static_cast<std::uint64_t>(last.offset) + 12 + static_cast<std::uint32_t>(last.length) != size) return false;
    bool image_data = false;
    for (std::size_t i = 0; i + 1 < table.size(); ++i) {
        const std::uint32_t type = table[i].type;
        // An early IEND would end the file for every decoder; an encoder's own
        // animation chunks would clash with ours.
        if (type == kIEND || type == kACTL || type == kFCTL || type == kFDAT) return false;
        image_data = image_data || type == kIDAT;
    }
    if (!first_header_.empty()) {
        const ChunkRecord& ihdr = table.front();
        const std::size_t ihdr_size = static_cast<std::size_t>(ihdr.length) + 12;
        if (ihdr_size != first_header_.size() ||
            std::memcmp(bytes + ihdr.offset, first_header_.data(), ihdr_size) != 0)
            return false;
    }
    return image_data;
}

ApngWriter::ApngWriter(ByteSink& sink, const ApngLayout& layout) : sink_(sink), layout_(layout) {
    table_.reserve(256);
}

void ApngWriter::emit(const std::uint8_t* data, std::size_t size) {
    if (write_failed_) return;
    write_failed_ = !sink_.write(data, size);
    written_ += size;
}

void ApngWriter::write_scratch(std::size_t total, std::uint32_t type) {
    ChunkWriter::frame(scratch_.data(), 0, total, type);
    emit(scratch_.data(), total);
}

void ApngWriter::write_first_frame_header(const std::uint8_t* bytes, std::size_t size) {
    // No encoder writes a stream too short for its signature; if one did,
    // the file still starts as a PNG must.
    emit(size >= 8 ? bytes : kPngSignature, 8);

    for (const ChunkRecord& chunk : table_) {
        if (chunk.type == kIDAT) break;
        // The encoder's pixel density is not ours to claim.
        if (chunk.type == kPHYs) continue;
        emit(bytes + chunk.offset, static_cast<std::size_t>(chunk.length) + 12);
    }

    actl_offset_ = written_;
    store_be32(&scratch_[8], static_cast<std::uint32_t>(layout_.frame_count));
    store_be32(&scratch_[12], 0);  // num_plays 0: loop forever
    write_scratch(kActlSize, kACTL);
}

void ApngWriter::write_fctl() {
    std::uint8_t* d = &scratch_[8];
    store_be32(d, next_sequence_++);
    store_be32(d + 4, static_cast<std::uint32_t>(layout_.width));
    store_be32(d + 8, static_cast<std::uint32_t>(layout_.height));
    store_be32(d + 12, 0);  // x_offset
    store_be32(d + 16, 0);  // y_offset
    store_be16(d + 20, static_cast<std::uint16_t>(layout_.delay_num));
    store_be16(d + 22, static_cast<std::uint16_t>(layout_.delay_den));
    d[24] = 0;  // dispose_op: none
    d[25] = 0;  // blend_op: source; every frame covers the whole canvas
    write_scratch(kFctlSize, kFCTL);
}

void ApngWriter::add_frame(std::int32_t index, std::uint8_t* bytes, std::size_t size) {
    ChunkScanner::scan(bytes, size, table_);
    if (index == 0) {
        write_first_frame_header(bytes, size);
        if (!table_.empty() && table_.front().type == kIHDR) {
            const std::uint8_t* ihdr = bytes + table_.front().offset;
            first_header_.assign(ihdr, ihdr + table_.front().length + 12);
        }
    }
    write_fctl();
    ++frames_added_;

    if (index == 0) {
        for (const ChunkRecord& chunk : table_)
            if (chunk.type == kIDAT) emit(bytes + chunk.offset, static_cast<std::size_t>(chunk.length) + 12);
        return;
    }

    for (const ChunkRecord& chunk : table_) {
        if (chunk.type != kIDAT) continue;
        // fdAT needs four more bytes than IDAT (its sequence number). They are
        // taken from in front of the chunk, where the previous chunk's CRC lies:
        // that chunk has already been written, or is not written at all. Every
        // recorded offset is at least 8, so this stays inside the buffer.
        const std::size_t o = static_cast<std::size_t>(chunk.offset);
        const std::size_t total = static_cast<std::size_t>(chunk.length) + 16;
        store_be32(bytes + o + 4, next_sequence_++);
        ChunkWriter::frame(bytes, o - 4, total, kFDAT);
        emit(bytes + o - 4, total);
    }
}

void ApngWriter::finish() {
    // A run that ended early announces in acTL only the frames it holds:
    // decoders reject a file whose frame count differs from its acTL.
    if (frames_added_ > 0 && frames_added_ != layout_.frame_count && !write_failed_) {
        std::uint8_t actl[kActlSize] = {};
        store_be32(actl + 8, static_cast<std::uint32_t>(frames_added_));
        ChunkWriter::frame(actl, 0, kActlSize, kACTL);
        write_failed_ = !sink_.overwrite(actl_offset_, actl, kActlSize);
    }

    std::memcpy(&scratch_[8], kTrailerText, kTrailerTextData);
    write_scratch(kTrailerTextData + 12, kTEXT);
    write_scratch(12, kIEND);
}

}  // namespace vorlane
