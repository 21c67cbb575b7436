// On Windows the files are read back by the Windows tests' own decoder;
// under Wine the suite adds pngcheck and Pillow as second opinions
// (tests/windows/wine_test_support.h). Scratch folders lie in the test
// program's own work folder.
#include <windows.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "demo_pixels.h"
#include "encoder_layout.h"
#include "file_checks.h"
#include "test_support.h"
#include "wine_test_support.h"

namespace vorlane::robust {

std::filesystem::path module_path() {
    return test::module_path();
}

std::vector<std::string> encoder_backends() {
    std::vector<std::string> names;
    for (test::EncoderLayout layout : test::kEncoderLayouts) names.push_back(test::name(layout));
    return names;
}

std::unique_ptr<host::PluginModule> load_module_for(const std::string& backend) {
    auto module = test::load_module();
    for (test::EncoderLayout layout : test::kEncoderLayouts)
        if (module && backend == test::name(layout) &&
            !test::use_encoder_layout(static_cast<HMODULE>(module->instance()), layout))
            ADD_FAILURE() << "cannot lay the encoder's PNGs out as " << backend;
    return module;
}

std::string independent_check(const host::HostScript& s, std::int32_t frames, std::uint16_t delay_num,
                              std::uint16_t delay_den) {
    const std::filesystem::path path(s.output_path);
    std::string why;
    if (!test::png_is_sound(path, &why)) return why;
    const test::DecodedApng decoded = test::decode(path);
    if (decoded.frames.size() != std::size_t(frames)) return std::to_string(decoded.frames.size()) + " frames";
    for (std::int32_t i = 0; i < frames; ++i) {
        const test::DecodedFrame& frame = decoded.frames[std::size_t(i)];
        if (frame.rgba != test::expected_rgba(s, i)) return "frame " + std::to_string(i) + " differs";
        if (frame.delay_num != delay_num || frame.delay_den != delay_den)
            return "frame " + std::to_string(i) + " lasts " + std::to_string(frame.duration_ms()) + " ms";
    }
    return {};
}

namespace {

bool writable(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

}  // namespace

// The read-only attribute is what a Windows user would set. Wine run as root
// keeps the attribute but lets every write through, so there the file is
// also made immutable on the Linux side, where the suite can reach it.
bool set_read_only(const std::filesystem::path& path, bool read_only) {
    const std::wstring wide = path.wstring();
    if (!read_only) {
        const bool immutable_cleared = !test::wine::has_linux_tools() || test::wine::set_immutable(path, false);
        return SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL) != 0 && immutable_cleared;
    }
    if (!SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY)) return false;
    if (!writable(wide)) return true;
    if (test::wine::has_linux_tools() && test::wine::set_immutable(path, true) && !writable(wide)) return true;
    SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);  // not read-only: leave it as it was
    return false;
}

std::filesystem::path scratch_dir(const std::string& name) {
    const std::filesystem::path dir = test::work_file("robust-" + name).path;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace vorlane::robust
