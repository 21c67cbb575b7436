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

#include "apng_reader.h"
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

using test::read_file;
using test::write_file;

// Whether decoders nobody here wrote read the file of `s` as exactly its
// first `frames` frames (each the converter's pixels for that demo frame,
// lasting delay_num / delay_den s): empty when they do, otherwise what they
// found. Natively pngcheck, Pillow and ffmpeg (tests/tools/check_apng.py);
// Debian's pngcheck 3.0.3 takes the animation chunks for unknown ancillary
// ones, which check_apng holds to their rules. On Windows the tests' own
// decoder, and under Wine pngcheck and Pillow as well.
std::string independent_check(const host::HostScript& s, std::int32_t frames, std::uint16_t delay_num = 1,
                              std::uint16_t delay_den = 30);

// Makes a file unwritable even for root (chattr +i; the read-only attribute
// on Windows), or undoes that. False when the platform cannot.
bool set_read_only(const std::filesystem::path& path, bool read_only);

// A fresh, empty folder for one test's files.
std::filesystem::path scratch_dir(const std::string& name);

}  // namespace vorlane::robust
