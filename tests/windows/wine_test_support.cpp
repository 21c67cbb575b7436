#include "wine_test_support.h"

#include <windows.h>

#include <cstring>
#include <filesystem>

#include "test_support.h"

namespace vorlane::test::wine {
namespace {

std::string g_tools;  // empty: no Linux tools

// Debian's Python, the one with Pillow.
constexpr const char* kPython = "/usr/bin/python3";

// Unix paths and arguments are UTF-8.
std::wstring wide(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())).wstring();
}

// The Unix path of a file Windows sees, by Wine's own mapping; the scratch
// folder lies inside the Wine prefix, wherever that is.
std::string unix_path(const std::filesystem::path& windows_path) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    static const auto to_unix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!to_unix) return {};
    char* name = to_unix(windows_path.c_str());
    if (!name) return {};
    std::string path = name;
    HeapFree(GetProcessHeap(), 0, name);
    return path;
}

// Starts a Linux program from inside Wine. Wine neither waits for it nor
// hands its exit status back, so callers wait for the files it leaves.
bool run_linux_program(const std::string& program, const std::vector<std::string>& args) {
    std::wstring path = L"Z:" + wide(program);
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

std::string read_text(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> bytes = read_file(path);
    return std::string(bytes.begin(), bytes.end());
}

// Linux programs rename their result into place when done. The limit only
// keeps a program that never started from hanging the suite.
bool wait_for_result(const std::filesystem::path& result, const std::filesystem::path& failed) {
    for (int waited = 0; waited < 1200; ++waited) {
        if (file_exists(result)) return true;
        if (file_exists(failed)) return false;
        Sleep(50);
    }
    return file_exists(result);
}

// Runs a tool on `windows_path`, which leaves its result beside the file
// under `suffix`; the result's text, or nothing.
std::optional<std::string> run_tool(const std::vector<std::string>& command,
                                    const std::filesystem::path& windows_path, const std::string& suffix,
                                    std::string* failure = nullptr) {
    const std::string file = unix_path(windows_path);
    if (g_tools.empty() || file.empty()) return std::nullopt;
    const std::filesystem::path result = windows_path.wstring() + wide(suffix);
    const std::filesystem::path failed = result.wstring() + L".failed";
    std::error_code ec;
    std::filesystem::remove(result, ec);
    std::filesystem::remove(failed, ec);
    std::vector<std::string> args(command.begin() + 1, command.end());
    args.push_back(file);
    args.push_back(file + suffix);
    if (!run_linux_program(command.front(), args)) return std::nullopt;
    const bool done = wait_for_result(result, failed);
    if (!done && failure && file_exists(failed)) *failure = read_text(failed);
    std::optional<std::string> text;
    if (done) text = read_text(result);
    std::filesystem::remove(result, ec);
    std::filesystem::remove(failed, ec);
    return text;
}

}  // namespace

bool is_wine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::string version() {
    using GetVersion = const char*(CDECL*)();
    const auto get = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
    return get ? std::string("Wine ") + get() : std::string();
}

void use_linux_tools(const std::string& unix_dir) {
    g_tools = unix_dir;
}

bool has_linux_tools() {
    return !g_tools.empty();
}

std::optional<std::vector<PillowFrame>> decode_with_pillow(const std::filesystem::path& windows_path,
                                                           std::string& error) {
    const auto dump =
        run_tool({kPython, g_tools + "/../../tools/check_apng.py", "--dump"}, windows_path, ".decoded", &error);
    if (!dump) {
        if (error.empty()) error = "Pillow did not run";
        return std::nullopt;
    }
    std::size_t at = 0;
    auto take = [&](void* out, std::size_t n) {
        if (dump->size() - at < n) return false;
        std::memcpy(out, dump->data() + at, n);
        at += n;
        return true;
    };
    std::uint32_t count = 0;
    error = "Pillow's dump is cut short";
    if (!take(&count, 4)) return std::nullopt;
    std::vector<PillowFrame> frames(count);
    for (PillowFrame& frame : frames) {
        if (!take(&frame.width, 4) || !take(&frame.height, 4) || !take(&frame.duration_ms, 8)) return std::nullopt;
        frame.rgba.resize(std::size_t(frame.width) * frame.height * 4);
        if (!take(frame.rgba.data(), frame.rgba.size())) return std::nullopt;
    }
    error.clear();
    return frames;
}

bool check_with_pngcheck(const std::filesystem::path& windows_path, std::string* output) {
    const auto text = run_tool({"/bin/sh", g_tools + "/pngcheck_result.sh"}, windows_path, ".pngcheck");
    if (!text) {
        if (output) *output = "pngcheck did not run";
        return false;
    }
    const std::size_t newline = text->find('\n');
    if (output) *output = newline == std::string::npos ? std::string() : text->substr(newline + 1);
    return text->compare(0, newline, "0") == 0;
}

bool make_link(const std::filesystem::path& link, const std::filesystem::path& target) {
    const std::string to = unix_path(target);
    if (to.empty()) return false;
    const auto text = run_tool({"/bin/sh", g_tools + "/link.sh", to}, link, ".link");
    return text && text->rfind("0\n", 0) == 0;
}

void remove_link(const std::filesystem::path& link) {
    run_tool({"/bin/sh", g_tools + "/link.sh", "-"}, link, ".link");
}

bool set_immutable(const std::filesystem::path& windows_path, bool immutable) {
    const auto text =
        run_tool({"/bin/sh", g_tools + "/set_immutable.sh", immutable ? "+i" : "-i"}, windows_path, ".chattr");
    return text && text->rfind("0\n", 0) == 0;
}

}  // namespace vorlane::test::wine
