#pragma once
// What the Windows test programs share: the real module, the demo frames as
// the converter turns them into pixels, and Pillow (a Linux program, started
// from inside Wine) as the independent decoder.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "demo_animation.h"
#include "plugin_module.h"
#include "scripted_host.h"

namespace vorlane::test {

// The module under test, freshly loaded, so its setting starts at 1.
std::unique_ptr<host::PluginModule> load_module();

// A scratch file path for this test: the Unix path (for Linux programs) and
// the same file as Windows sees it.
struct WorkFile {
    std::string unix_path;
    std::string windows_path;
    std::u16string host_path() const;  // what an OutputRequest carries
};
WorkFile work_file(const std::string& name);

std::vector<std::uint8_t> read_file(const std::string& windows_path);
void write_file(const std::string& windows_path, const std::vector<std::uint8_t>& bytes);
bool file_exists(const std::string& windows_path);

struct DecodedFrame {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    double duration_ms = 0;
    std::vector<std::uint8_t> rgba;
};
// Every frame as Pillow decodes it; nothing when Pillow cannot.
std::optional<std::vector<DecodedFrame>> decode_with_pillow(const WorkFile& png);

// pngcheck's verdict on the whole file, and its report; false also when it
// could not be run.
bool check_with_pngcheck(const WorkFile& png, std::string* output = nullptr);

// Sets or clears the Linux immutable flag (chattr); false when that failed.
bool set_immutable(const WorkFile& file, bool immutable);

// What a frame of the demo must decode to: RGBA bytes of FrameConverter's words.
std::vector<std::uint8_t> expected_rgba(host::DemoContent content, std::int32_t width, std::int32_t height,
                                        std::int32_t index, std::int32_t frame_count, bool divide);

// The chunks of a PNG file, read plainly: no CRC check, no trust in lengths.
struct Chunk {
    std::string type;
    std::vector<std::uint8_t> data;
};
// `start` is 8 past a signature, 0 for a file that has none.
std::vector<Chunk> read_chunks(const std::vector<std::uint8_t>& file, std::size_t start = 8);
std::uint32_t be32(const std::uint8_t* p);
std::uint16_t be16(const std::uint8_t* p);

// The 40 bytes of a run that wrote no frame: the comment chunk and IEND.
bool is_trailer_only(const std::vector<std::uint8_t>& file);

std::u16string config_text(const OutputPluginTable& table);

}  // namespace vorlane::test
