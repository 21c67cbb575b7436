#include "encode/diagnostic_copy.h"

#include <cstdio>

#include "platform/output_file.h"

namespace vorlane {

std::u16string diagnostic_path(const char* prefix, std::int32_t frame_index) {
    char narrow[64];
    const int n = std::snprintf(narrow, sizeof narrow, "C:/temp/%s%03d.png", prefix, static_cast<int>(frame_index));
    std::u16string path;
    for (int i = 0; i < n && i < static_cast<int>(sizeof narrow) - 1 && path.size() < 4095; ++i)
        path.push_back(static_cast<char16_t>(static_cast<unsigned char>(narrow[i])));
    return path;
}

void write_diagnostic_copy(const char16_t* path, const std::uint8_t* data, std::size_t size) noexcept {
    auto file = OutputFile::create(path, OutputFile::Access::WriteOnly);
    if (!file) return;
    // Best effort: a copy for debugging never decides the export.
    static_cast<void>(file->write(data, size));
    static_cast<void>(file->close());
}

}  // namespace vorlane
