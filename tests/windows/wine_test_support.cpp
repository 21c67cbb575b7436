#include "wine_test_support.h"

#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "encode/frame_converter.h"

namespace vorlane::test {
namespace {

// Wine maps the Unix root to drive Z:.
std::string windows_from_unix(const std::string& unix_path) {
    return "Z:" + unix_path;
}

std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());  // our paths and arguments are ASCII
}

// Starts a Linux program from inside Wine. Wine neither waits for it nor
// hands its exit status back, so callers wait for the files it leaves.
bool run_linux_program(const std::string& program, const std::vector<std::string>& args) {
    std::wstring path = wide(windows_from_unix(program));
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';  // Wine finds Unix programs only by a backslashed path
    std::wstring command = L"\"" + path + L"\"";
    for (const std::string& arg : args) command += L" \"" + wide(arg) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Linux programs rename their result into place when done. The limit only
// keeps a program that never started from hanging the suite.
bool wait_for_result(const std::string& result, const std::string& failed = {}) {
    for (int waited = 0; waited < 1200; ++waited) {
        if (file_exists(result)) return true;
        if (!failed.empty() && file_exists(failed)) return false;
        Sleep(50);
    }
    return file_exists(result);
}

}  // namespace

std::unique_ptr<host::PluginModule> load_module() {
    std::string error;
    auto module = host::PluginModule::load(VORLANE_MODULE_PATH, error);
    if (!module) ADD_FAILURE() << "cannot load the module: " << error;
    return module;
}

std::u16string WorkFile::host_path() const {
    return host::utf16_from_utf8(windows_path);
}

WorkFile work_file(const std::string& name) {
    const std::string dir = VORLANE_TEST_WORK;
    std::filesystem::create_directories(windows_from_unix(dir));
    const std::string unix_path = dir + "/" + name;
    return {unix_path, windows_from_unix(unix_path)};
}

std::vector<std::uint8_t> read_file(const std::string& windows_path) {
    std::ifstream in(windows_path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& windows_path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(windows_path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool file_exists(const std::string& windows_path) {
    std::error_code ec;
    return std::filesystem::exists(windows_path, ec);
}

std::optional<std::vector<DecodedFrame>> decode_with_pillow(const WorkFile& png) {
    const WorkFile dump = work_file(std::filesystem::path(png.unix_path).filename().string() + ".decoded");
    const std::string failed = dump.windows_path + ".failed";
    std::error_code ec;
    std::filesystem::remove(dump.windows_path, ec);
    std::filesystem::remove(failed, ec);
    if (!run_linux_program(VORLANE_PYTHON, {VORLANE_TEST_TOOLS "/decode_apng.py", png.unix_path, dump.unix_path}))
        return std::nullopt;
    if (!wait_for_result(dump.windows_path, failed)) {
        if (file_exists(failed)) {
            const std::vector<std::uint8_t> error = read_file(failed);
            ADD_FAILURE() << "Pillow: " << std::string(error.begin(), error.end());
        }
        return std::nullopt;
    }

    const std::vector<std::uint8_t> bytes = read_file(dump.windows_path);
    std::size_t at = 0;
    auto take = [&](void* out, std::size_t n) {
        if (bytes.size() - at < n) return false;
        std::memcpy(out, bytes.data() + at, n);
        at += n;
        return true;
    };
    std::uint32_t count = 0;
    if (!take(&count, 4)) return std::nullopt;
    std::vector<DecodedFrame> frames(count);
    for (DecodedFrame& frame : frames) {
        if (!take(&frame.width, 4) || !take(&frame.height, 4) || !take(&frame.duration_ms, 8)) return std::nullopt;
        frame.rgba.resize(std::size_t(frame.width) * frame.height * 4);
        if (!take(frame.rgba.data(), frame.rgba.size())) return std::nullopt;
    }
    return frames;
}

bool check_with_pngcheck(const WorkFile& png, std::string* output) {
    const WorkFile result = work_file(std::filesystem::path(png.unix_path).filename().string() + ".pngcheck");
    std::error_code ec;
    std::filesystem::remove(result.windows_path, ec);
    if (!run_linux_program("/bin/sh", {VORLANE_TEST_TOOLS "/pngcheck_result.sh", png.unix_path, result.unix_path}) ||
        !wait_for_result(result.windows_path))
        return false;
    const std::vector<std::uint8_t> bytes = read_file(result.windows_path);
    const std::string text(bytes.begin(), bytes.end());
    const std::size_t newline = text.find('\n');
    if (output) *output = newline == std::string::npos ? std::string() : text.substr(newline + 1);
    return text.compare(0, newline, "0") == 0;
}

bool set_immutable(const WorkFile& file, bool immutable) {
    const WorkFile result = work_file(std::filesystem::path(file.unix_path).filename().string() + ".chattr");
    std::error_code ec;
    std::filesystem::remove(result.windows_path, ec);
    if (!run_linux_program("/bin/sh", {VORLANE_TEST_TOOLS "/set_immutable.sh", immutable ? "+i" : "-i", file.unix_path,
                                       result.unix_path}) ||
        !wait_for_result(result.windows_path))
        return false;
    const std::vector<std::uint8_t> bytes = read_file(result.windows_path);
    return std::string(bytes.begin(), bytes.end()).rfind("0\n", 0) == 0;
}

std::vector<std::uint8_t> expected_rgba(host::DemoContent content, std::int32_t width, std::int32_t height,
                                        std::int32_t index, std::int32_t frame_count, bool divide) {
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    std::vector<std::uint16_t> hf64(pixels * 4);
    host::render_demo_frame(content, width, height, index, frame_count, hf64);
    std::vector<std::uint32_t> argb(pixels);
    FrameConverter::convert(reinterpret_cast<const std::uint8_t*>(hf64.data()), argb.data(), pixels, divide);
    std::vector<std::uint8_t> rgba(pixels * 4);
    for (std::size_t i = 0; i < pixels; ++i) {
        rgba[i * 4 + 0] = std::uint8_t(argb[i] >> 16);
        rgba[i * 4 + 1] = std::uint8_t(argb[i] >> 8);
        rgba[i * 4 + 2] = std::uint8_t(argb[i]);
        rgba[i * 4 + 3] = std::uint8_t(argb[i] >> 24);
    }
    return rgba;
}

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

std::uint16_t be16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

std::vector<Chunk> read_chunks(const std::vector<std::uint8_t>& file, std::size_t start) {
    std::vector<Chunk> chunks;
    std::size_t at = start;
    while (at <= file.size() && file.size() - at >= 12) {
        const std::size_t length = be32(&file[at]);
        if (length > file.size() - at - 12) break;
        Chunk chunk;
        chunk.type.assign(reinterpret_cast<const char*>(&file[at + 4]), 4);
        chunk.data.assign(file.begin() + std::ptrdiff_t(at + 8), file.begin() + std::ptrdiff_t(at + 8 + length));
        chunks.push_back(std::move(chunk));
        at += 12 + length;
    }
    return chunks;
}

bool is_trailer_only(const std::vector<std::uint8_t>& file) {
    if (file.size() != 40) return false;
    const std::vector<Chunk> chunks = read_chunks(file, 0);
    static const char kComment[] = "Comment\0fffffffe";
    return chunks.size() == 2 && (chunks[0].type == "tEXt" || chunks[0].type == "iTXt") &&
           chunks[0].data == std::vector<std::uint8_t>(kComment, kComment + 16) && chunks[1].type == "IEND" &&
           chunks[1].data.empty();
}

std::u16string config_text(const OutputPluginTable& table) {
    return table.on_config_text();
}

}  // namespace vorlane::test
