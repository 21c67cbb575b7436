#pragma once
// Seam: what the host simulator takes from and gives to the system it runs
// on, in its own words: the command line, its own path, text on the console,
// and why a file cannot be created. Text inside the program is UTF-8; paths
// stay std::filesystem::path, which is UTF-16 on Windows.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::host {

struct Argument {
    std::string text;             // UTF-8, for options, numbers and messages
    std::filesystem::path path;   // the same argument as a path, never re-decoded
};

// The arguments after the program's name: on Windows the UTF-16 command
// line, elsewhere the bytes given, which must be UTF-8. Nothing, with
// `error` set, when one of them is not valid Unicode.
std::optional<std::vector<Argument>> program_arguments(int argc, char** argv, std::string& error);

// This program's own file, for the module beside it.
std::filesystem::path running_program();

// Writes UTF-8 text to stdout or stderr; a Windows console gets it as UTF-16,
// whatever its code page.
void print(std::FILE* stream, std::string_view utf8);

// Whether standard error is a terminal or a console, where a progress bar
// redrawn with '\r' reads as one line. Anywhere else (a pipe, a file, NUL)
// every redraw would pile up in one endless line.
bool stderr_is_terminal();

// The system's description of an error code (errno, or GetLastError()), in
// the user's language where the system has it.
std::string system_message(unsigned long code);

// Why this program could not open `path` for writing now, in the system's
// words; empty when it could. Changes nothing: an existing file is not
// truncated, and one made for the test is removed at once.
std::string why_not_writable(const std::filesystem::path& path);

inline std::string utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace vorlane::host
