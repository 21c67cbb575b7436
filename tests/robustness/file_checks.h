#pragma once
// Seam: what exports need from the platform the tests run on. Natively the
// module encodes with its portable stand-in; on Windows and under Wine with
// the platform's encoder, its PNGs laid out as each encoder we know lays
// them out. Exported files are read back with tools nobody here wrote where
// possible.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "plugin_module.h"
#include "scripted_host.h"

namespace vorlane::robust {

// The plugin module under test, as the host would load it.
std::filesystem::path module_path();

// The encoders every export case runs with, by name.
std::vector<std::string> encoder_backends();
// The module loaded afresh (its setting at 1), exporting through `backend`.
std::unique_ptr<host::PluginModule> load_module_for(const std::string& backend);

// The robustness tests' request: `frames` frames of 5 x 3 at 30 fps into
// `path`, each frame in a guarded block.
host::HostScript small_script(const std::filesystem::path& path, std::int32_t frames = 3);

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
std::string as_hex(const std::vector<std::uint8_t>& bytes);

// Makes a file unwritable even for root (chattr +i; the read-only attribute
// on Windows), or undoes that. False when the platform cannot.
bool set_read_only(const std::filesystem::path& path, bool read_only);

// A fresh, empty folder for one test's files.
std::filesystem::path scratch_dir(const std::string& name);

}  // namespace vorlane::robust
