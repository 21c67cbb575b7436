#pragma once
// Reading back exported files, with tools nobody here wrote where possible.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vorlane::robust {

// The plugin module under test, as the host would load it.
std::filesystem::path module_path();

std::vector<std::uint8_t> read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// pngcheck's verdict on the whole file: the PNG structure, every CRC and the
// IDATs' zlib stream. Debian's pngcheck 3.0.3 takes the animation
// chunks for unknown ancillary ones; check_apng and the Windows tests'
// decoder hold those to their rules. On Windows the decoder gives the verdict.
bool pngcheck_ok(const std::filesystem::path& path, std::string* output = nullptr);

// Pillow's reading: the frame count, then per frame the RGBA bytes as hex,
// one line each. Empty when Pillow cannot open or decode every frame.
std::vector<std::string> pillow_frames(const std::filesystem::path& path);

// Makes a file unwritable even for root (chattr +i; the read-only attribute
// on Windows), or undoes that. False when the platform cannot.
bool set_read_only(const std::filesystem::path& path, bool read_only);

// A fresh, empty folder for one test's files.
std::filesystem::path scratch_dir(const std::string& name);

}  // namespace vorlane::robust
