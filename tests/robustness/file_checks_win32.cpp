// Under Wine the checking tools are Linux programs that cannot hand back
// their output or status, so they leave it in files (wine_test_support.h).
// Every scratch folder lies under the Unix work folder, seen as drive Z:, so
// that a Linux tool finds the same file by dropping the drive.
#include <windows.h>

#include <cstdio>
#include <filesystem>

#include "file_checks.h"
#include "wine_test_support.h"

namespace vorlane::robust {
namespace {

test::WorkFile as_work_file(const std::string& windows_path) {
    return {windows_path.substr(2), windows_path};
}

}  // namespace

bool pngcheck_ok(const std::string& path, std::string* output) {
    return test::check_with_pngcheck(as_work_file(path), output);
}

std::vector<std::string> pillow_frames(const std::string& path) {
    const auto frames = test::decode_with_pillow(as_work_file(path));
    if (!frames) return {};
    std::vector<std::string> lines = {std::to_string(frames->size())};
    for (const test::DecodedFrame& frame : *frames) {
        std::string hex;
        char buf[3];
        for (std::uint8_t b : frame.rgba) std::snprintf(buf, sizeof buf, "%02x", b), hex += buf;
        lines.push_back(hex);
    }
    return lines;
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
// also made immutable on the Linux side.
bool set_read_only(const std::string& path, bool read_only) {
    const std::wstring wide(path.begin(), path.end());
    if (!read_only) {
        const bool immutable_cleared = test::set_immutable(as_work_file(path), false);
        return SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL) != 0 && immutable_cleared;
    }
    if (!SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY)) return false;
    if (!writable(wide)) return true;
    return test::set_immutable(as_work_file(path), true) && !writable(wide);
}

std::string scratch_dir(const std::string& name) {
    const std::string dir = test::work_file("robust-" + name).windows_path;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace vorlane::robust
