#include "settings/config_text.h"

#include <cstdio>

#include "encode/setting.h"

namespace vorlane {
namespace {

char16_t config_text[kConfigTextUnits];

}  // namespace

const char16_t* format_config_text() noexcept {
    constexpr char16_t kLabel[] = u"RGBをAで割る: ";
    char digits[16];
    const int n = std::snprintf(digits, sizeof digits, "%d", static_cast<int>(divide_rgb_by_alpha.load()));
    std::size_t out = 0;
    for (std::size_t i = 0; kLabel[i] != 0 && out < kConfigTextUnits - 1; ++i) config_text[out++] = kLabel[i];
    for (int i = 0; i < n && out < kConfigTextUnits - 1; ++i) config_text[out++] = static_cast<char16_t>(digits[i]);
    config_text[out] = 0;
    return config_text;
}

}  // namespace vorlane
