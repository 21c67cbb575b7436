#include <windows.h>
#include <shellapi.h>

#include "console.h"

namespace vorlane::host {
namespace {

// UTF-8 of UTF-16 text; false when it is not valid UTF-16 (a lone surrogate).
bool utf8_of(const std::wstring& wide, std::string& out) {
    out.clear();
    if (wide.empty()) return true;
    const int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), int(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0) return false;
    out.resize(std::size_t(n));
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), int(wide.size()), out.data(), n, nullptr,
                        nullptr);
    return true;
}

}  // namespace

std::optional<std::vector<Argument>> program_arguments(int, char**, std::string& error) {
    // Not argv: the C runtime has already squeezed that through the ANSI code
    // page, where a Japanese or accented file name turns into question marks.
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) {
        error = "cannot read the command line: " + system_message(GetLastError());
        return std::nullopt;
    }
    std::vector<Argument> arguments;
    for (int i = 1; i < count; ++i) {
        Argument argument{{}, std::filesystem::path(wide[i])};
        if (!utf8_of(wide[i], argument.text)) {
            error = "argument " + std::to_string(i) + " is not valid Unicode text";
            LocalFree(wide);
            return std::nullopt;
        }
        arguments.push_back(std::move(argument));
    }
    LocalFree(wide);
    return arguments;
}

std::filesystem::path running_program() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n < path.size()) return path.substr(0, n);
        path.resize(path.size() * 2);
    }
}

void print(std::FILE* stream, std::string_view utf8) {
    std::fflush(stream);
    const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode) && !utf8.empty()) {
        const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
        std::wstring wide(std::size_t(n > 0 ? n : 0), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), n);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), DWORD(wide.size()), &written, nullptr);
        return;
    }
    // A pipe or a file gets UTF-8, whatever the console's code page.
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

// Not _isatty: it is also true for the NUL device. Only a console handle has
// a console mode.
bool stderr_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::string system_message(unsigned long code) {
    LPWSTR text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring wide = n && text ? std::wstring(text, n) : std::wstring();
    if (text) LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' ')) wide.pop_back();
    std::string out;
    if (wide.empty() || !utf8_of(wide, out)) out = "system error " + std::to_string(code);
    return out;
}

std::string why_not_writable(const std::filesystem::path& path) {
    // Opened as the plugin opens it, but never truncated; a file that did not
    // exist goes again when closed.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND)
        file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return system_message(GetLastError());
    CloseHandle(file);
    return {};
}

}  // namespace vorlane::host
