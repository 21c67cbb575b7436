#pragma once
// An APNG decoder of the tests' own, sharing nothing with the module's code:
// zlib inflates, the row filters are undone here, and the frames are composed
// on a canvas by the animation's rules, as a viewer shows them.
#include <cstdint>
#include <string>
#include <vector>

namespace vorlane::test {

struct DecodedFrame {
    std::uint32_t width = 0;   // the canvas: every frame is the whole picture as shown
    std::uint32_t height = 0;
    std::uint16_t delay_num = 0;  // as its fcTL gives them; 0 and 0 for a still PNG
    std::uint16_t delay_den = 0;
    std::vector<std::uint8_t> rgba;  // width x height x R, G, B, A; top row first
    double duration_ms() const;      // a delay_den of 0 counts as 100
};

struct DecodedApng {
    std::string error;  // empty when every chunk and frame decoded; otherwise why not
    bool animated = false;      // acTL present
    std::uint32_t plays = 0;    // acTL's num_plays; 0 loops forever
    std::vector<DecodedFrame> frames;  // a still PNG gives one
};

// Decodes a whole file strictly: anything a careful validator would reject
// is an error, and no frames are given then.
DecodedApng decode_apng(const std::vector<std::uint8_t>& file);

}  // namespace vorlane::test
