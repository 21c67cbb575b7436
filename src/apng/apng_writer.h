#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "apng/byte_sink.h"
#include "apng/chunk_scanner.h"

namespace vorlane {

struct ApngLayout {
    std::int32_t width;
    std::int32_t height;
    std::int32_t frame_count;
    std::int64_t delay_num;  // written as the low 16 bits
    std::int64_t delay_den;
};

// Stitches complete per-frame PNG streams into one APNG without recompressing:
// frame 0's header chunks, acTL, then per frame an fcTL and its image data.
class ApngWriter {
public:
    ApngWriter(ByteSink& sink, const ApngLayout& layout);

    // Whether a frame stream can be stitched in without breaking the file:
    // the PNG signature, IHDR first, at least one IDAT, and complete chunks
    // up to an IEND that ends the stream, with no IEND or animation chunk
    // before it; after the first frame, an IHDR identical to the first
    // frame's, since only that one goes into the file. Anything else (a
    // truncated stream, a length past the limit, trailing bytes, another
    // pixel format) means the encoder failed, and the frame with it.
    bool accepts(const std::uint8_t* bytes, std::size_t size) const;

    // Frames come in order 0, 1, 2, ... Later frames' IDAT chunks are turned
    // into fdAT chunks in place, in `bytes`, which is why it is not const.
    void add_frame(std::int32_t index, std::uint8_t* bytes, std::size_t size);

    // Trailer text chunk and IEND. Called once, after the last frame or none.
    void finish();

    // Whether a write to the sink failed or came up short. From then on the
    // writer writes nothing more: bytes after a gap would land where a reader
    // expects others, and the file is lost either way.
    bool write_failed() const { return write_failed_; }

    std::int32_t frames_added() const { return frames_added_; }

private:
    void write_first_frame_header(const std::uint8_t* bytes, std::size_t size);
    void write_fctl();
    void write_scratch(std::size_t total, std::uint32_t type);
    void emit(const std::uint8_t* data, std::size_t size);

    ByteSink& sink_;
    ApngLayout layout_;
    std::array<std::uint8_t, 260> scratch_{};
    std::uint32_t next_sequence_ = 0;
    std::int32_t frames_added_ = 0;
    bool write_failed_ = false;
    std::uint64_t written_ = 0;       // bytes handed to the sink so far
    std::uint64_t actl_offset_ = 0;   // where acTL starts, to correct num_frames
    std::vector<ChunkRecord> table_;  // reused from frame to frame
    std::vector<std::uint8_t> first_header_;  // frame 0's IHDR chunk, whole
};

}  // namespace vorlane
