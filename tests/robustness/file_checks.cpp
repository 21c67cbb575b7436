#include "file_checks.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace vorlane::robust {

std::string as_hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char digits[3];
    for (std::uint8_t b : bytes) std::snprintf(digits, sizeof digits, "%02x", b), out += digits;
    return out;
}

host::HostScript small_script(const std::filesystem::path& path, std::int32_t frames) {
    host::HostScript s;
    s.width = 5;
    s.height = 3;
    s.frame_count = frames;
    s.output_path = path.u16string();
    s.guarded_frames = true;
    return s;
}

std::vector<std::uint8_t> read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace vorlane::robust
