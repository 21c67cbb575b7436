// The checking tools run as child processes whose output and status we read.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include <gtest/gtest.h>

#include "demo_pixels.h"
#include "file_checks.h"

namespace vorlane::robust {
namespace {

std::string run(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        status = -1;
        return out;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    status = pclose(pipe);
    return out;
}

}  // namespace

std::filesystem::path module_path() {
    return VORLANE_MODULE_PATH;
}

std::vector<std::string> encoder_backends() {
    return {"libpng"};
}

std::unique_ptr<host::PluginModule> load_module_for(const std::string&) {
    std::string error;
    auto module = host::PluginModule::load(module_path(), error);
    if (!module) ADD_FAILURE() << "cannot load the module: " << error;
    return module;
}

std::string independent_check(const host::HostScript& s, std::int32_t frames, std::uint16_t delay_num,
                              std::uint16_t delay_den) {
    const std::string path = std::filesystem::path(s.output_path).string();
    int status = 0;
    std::string out = run("pngcheck -q '" + path + "' 2>&1", status);
    if (status != 0) return "pngcheck: " + out;
    test::Bytes expected;
    for (std::int32_t i = 0; i < frames; ++i) {
        const test::Bytes frame = test::expected_rgba(s, i);
        expected.insert(expected.end(), frame.begin(), frame.end());
    }
    const std::string expected_path = path + ".expected.rgba";
    write_file(expected_path, expected);
    out = run(std::string(VORLANE_PYTHON) + " " + VORLANE_TEST_TOOLS + "/check_apng.py '" + path + "' '" +
                  expected_path + "' " + std::to_string(s.width) + " " + std::to_string(s.height) + " " +
                  std::to_string(frames) + " " + std::to_string(delay_num) + " " + std::to_string(delay_den) + " 2>&1",
              status);
    std::filesystem::remove(expected_path);
    return status == 0 ? std::string() : out;
}

bool set_read_only(const std::filesystem::path& path, bool read_only) {
    const std::string command = std::string("chattr ") + (read_only ? "+i" : "-i") + " '" + path.string() + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

// This program's own folder in the shared temporary one, made new by
// mkdtemp (so no name another user chose is in the way) and removed at exit.
struct ProcessFolder {
    std::filesystem::path path;
    ProcessFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorlane-robust-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp: " + pattern);
        path = pattern;
    }
    ~ProcessFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

std::filesystem::path scratch_dir(const std::string& name) {
    static const ProcessFolder folder;
    const auto dir = folder.path / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace vorlane::robust
