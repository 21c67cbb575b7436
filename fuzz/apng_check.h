#pragma once
// An independent reading of what the APNG writer produced, used by the fuzz
// targets and the robustness tests. It shares no code with the writer or the
// scanner, so a fault in either cannot hide itself here.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "apng/byte_sink.h"

namespace vorlane::check {

// Keeps everything written, and notes any overwrite that would reach past
// what has been written so far (the writer may only correct earlier bytes).
class RecordingSink final : public ByteSink {
public:
    bool write(const std::uint8_t* data, std::size_t size) override;
    bool overwrite(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;

    std::vector<std::uint8_t> bytes;
    std::string error;
};

struct Chunk {
    std::size_t offset;  // of the length field
    std::uint32_t length;
    std::string type;
    const std::uint8_t* data;
    bool crc_ok;
};

// Splits a byte range into chunks; empty error when it is exactly a run of
// complete chunks.
std::string split_chunks(const std::uint8_t* bytes, std::size_t size, std::vector<Chunk>& out);

struct Expected {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t delay_num = 0;
    std::uint16_t delay_den = 0;
    std::uint32_t frames_written = 0;
};

// What a sound file holds, read back.
struct Reading {
    std::vector<Chunk> header;                           // between signature and acTL
    std::vector<std::vector<std::uint8_t>> frame_data;  // image data per frame, concatenated
};

// Empty when `file` is a structurally sound output of `expected.frames_written`
// frames:
// - no frame: exactly the trailer text chunk and IEND, nothing else;
// - otherwise: the PNG signature; a run of complete chunks up to the end of
//   the file; header chunks starting with IHDR, none of them image data,
//   animation chunks, IEND or pHYs; one acTL announcing exactly the frames
//   written and looping forever; per frame an fcTL with the next sequence
//   number, the request's size and delay, no offset, dispose and blend 0,
//   followed by at least one image chunk (IDAT for frame 0, fdAT with the
//   next sequence number after that); then the trailer text chunk and IEND.
// Every chunk the writer frames itself carries a correct CRC; copied ones
// (header chunks, frame 0's IDATs) are taken as they came.
std::string check_apng(const std::vector<std::uint8_t>& file, const Expected& expected, Reading* reading = nullptr);

// The trailer the writer ends every file with: tEXt "Comment\0fffffffe", IEND.
const std::vector<std::uint8_t>& trailer_bytes();

}  // namespace vorlane::check
