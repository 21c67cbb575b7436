#pragma once
// The Linux side of the Wine suite, and the only part of the Windows tests
// that knows it runs under Wine: Pillow, pngcheck and chattr are Linux
// programs, started from inside Wine once the suite passes
// --linux-tools=DIR. Without that option (the test bundle on Windows, or
// sealed under Wine) nothing here runs and the tests rely on their own checks.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vorlane::test::wine {

// Whether the program runs under Wine, whose encoder lays PNGs out otherwise,
// and which Wine.
bool is_wine();
std::string version();

// DIR: the Unix folder of the scripts in tests/windows/tools.
void use_linux_tools(const std::string& unix_dir);
bool has_linux_tools();

struct PillowFrame {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    double duration_ms = 0;
    std::vector<std::uint8_t> rgba;
};
// Every frame as Pillow decodes it; nothing, with the reason in `error`, when it cannot.
std::optional<std::vector<PillowFrame>> decode_with_pillow(const std::filesystem::path& path, std::string& error);

// pngcheck's verdict on the whole file, and its report; false also when it
// could not be run.
bool check_with_pngcheck(const std::filesystem::path& path, std::string* output);

// Sets or clears the Linux immutable flag (chattr); false when that failed.
bool set_immutable(const std::filesystem::path& path, bool immutable);

// A Unix symbolic link, which Wine takes for a Windows link, at `link` to
// `target`; and its removal, which leaves anything that is not a link alone.
bool make_link(const std::filesystem::path& link, const std::filesystem::path& target);
void remove_link(const std::filesystem::path& link);

}  // namespace vorlane::test::wine
