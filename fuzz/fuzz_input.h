#pragma once
// Splits a fuzz input into frame streams, each in a heap block of exactly its
// size, so that any read past a frame's end is caught by AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace vorlane::fuzz {

inline constexpr char kSeparator[] = "\n--frame--\n";
inline constexpr std::size_t kSeparatorSize = sizeof(kSeparator) - 1;

struct FrameStream {
    std::unique_ptr<std::uint8_t[]> bytes;  // what the writer edits in place
    std::size_t size = 0;
    std::vector<std::uint8_t> original;     // untouched, for comparison
};

inline std::vector<FrameStream> split_frames(const std::uint8_t* data, std::size_t size, std::size_t max_frames) {
    std::vector<FrameStream> frames;
    std::size_t start = 0;
    while (frames.size() < max_frames) {
        std::size_t end = start;
        while (end < size && !(size - end >= kSeparatorSize && std::memcmp(data + end, kSeparator, kSeparatorSize) == 0))
            ++end;
        if (end == start && end == size && !frames.empty()) break;
        FrameStream f;
        f.size = end - start;
        f.bytes.reset(new std::uint8_t[f.size]);
        if (f.size) std::memcpy(f.bytes.get(), data + start, f.size);
        f.original.assign(data + start, data + end);
        frames.push_back(std::move(f));
        if (end == size) break;
        start = end + kSeparatorSize;
    }
    return frames;
}

}  // namespace vorlane::fuzz
