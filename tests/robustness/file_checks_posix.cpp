// The checking tools run as child processes whose output and status we read.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

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

bool pngcheck_ok(const std::filesystem::path& path, std::string* output) {
    int status = 0;
    const std::string out = run("pngcheck -q '" + path.string() + "' 2>&1", status);
    if (output) *output = out;
    return status == 0;
}

std::vector<std::string> pillow_frames(const std::filesystem::path& path) {
    // Passed with -c: parallel test programs share no script file.
    const std::string script =
        "import sys\n"
        "from PIL import Image\n"
        "im = Image.open(sys.argv[1])\n"
        "n = getattr(im, \"n_frames\", 1)\n"
        "print(n)\n"
        "for i in range(n):\n"
        "    im.seek(i)\n"
        "    print(im.convert(\"RGBA\").tobytes().hex())\n";
    int status = 0;
    const std::string out =
        run(std::string(VORLANE_PYTHON) + " -c '" + script + "' '" + path.string() + "' 2>/dev/null", status);
    if (status != 0) return {};
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool set_read_only(const std::filesystem::path& path, bool read_only) {
    const std::string command = std::string("chattr ") + (read_only ? "+i" : "-i") + " '" + path.string() + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

std::filesystem::path scratch_dir(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() / ("vorlane-robust-" + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace vorlane::robust
