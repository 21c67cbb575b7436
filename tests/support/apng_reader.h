#pragma once
// The tests' own reading of what the module writes: its chunks, its APNG
// layout, and its frames decoded as a viewer shows them. It shares no code
// with the module: zlib gives the CRCs and inflates, the rest is written
// here, so that a fault in the module's chunk code cannot hide itself.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace vorlane::test {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t be32(const std::uint8_t* p);
std::uint16_t be16(const std::uint8_t* p);

struct Chunk {
    std::size_t offset = 0;  // of its length field in the bytes read
    std::string type;
    Bytes data;
    bool crc_ok = false;
};

struct Chunks {
    std::vector<Chunk> list;
    std::string error;  // empty when the bytes from `start` are exactly a run of complete chunks
    std::vector<std::string> types() const;
    std::size_t count(const std::string& type) const;
    const Chunk* find(const std::string& type) const;  // the first, or null
};

// Never trusts a length: a chunk cut short, or claiming more than 2^31 - 1
// bytes, ends the reading and `error` says where; what came before is kept.
// `start` is 8 past a signature, 0 for bytes that have none.
Chunks read_chunks(const Bytes& bytes, std::size_t start = 8);

extern const Bytes kPngSignature;
void append_chunk(Bytes& out, const char* type, const Bytes& data);  // length, type, data, CRC
// A signature, then a chunk of each type with that many data bytes, each
// chunk's bytes `fill`, `fill` + 1, ... in turn.
Bytes make_png(const std::vector<std::pair<const char*, std::size_t>>& chunks, std::uint8_t fill = 0x5A);
// The stream with its image data cut into IDATs of `piece` bytes (none for
// 0) where its first IDAT was, and `extra` put in just after IHDR; its other
// chunks are kept as they were, CRC and all.
Bytes recut_png(const Bytes& png, std::size_t piece, const Bytes& extra = {});
// What a run that wrote no frame leaves: tEXt "Comment\0fffffffe", IEND (40 bytes).
const Bytes& trailer_bytes();

struct Expected {
    std::uint32_t width = 0, height = 0;
    std::uint16_t delay_num = 0, delay_den = 0;
    std::uint32_t frames_written = 0;
};

struct Reading {
    std::vector<Chunk> header;     // between signature and acTL
    std::vector<Bytes> frame_data;  // image data per frame, concatenated
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
std::string check_apng(const Bytes& file, const Expected& expected, Reading* reading = nullptr);

struct DecodedFrame {
    std::uint32_t width = 0;   // the canvas: every frame is the whole picture as shown
    std::uint32_t height = 0;
    std::uint16_t delay_num = 0;  // as its fcTL gives them; 0 and 0 for a still PNG
    std::uint16_t delay_den = 0;
    Bytes rgba;                // width x height x R, G, B, A; top row first
    double duration_ms() const;  // a delay_den of 0 counts as 100
};

struct DecodedApng {
    std::string error;  // empty when every chunk and frame decoded; otherwise why not
    bool animated = false;      // acTL present
    std::uint32_t plays = 0;    // acTL's num_plays; 0 loops forever
    std::vector<DecodedFrame> frames;  // a still PNG gives one
};

// Decodes a whole file strictly, composing the frames on a canvas by the
// animation's rules: anything a careful validator would reject is an error,
// and no frames are given then.
DecodedApng decode_apng(const Bytes& file);

Bytes read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const Bytes& bytes);

}  // namespace vorlane::test
