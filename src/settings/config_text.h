#pragma once
#include <cstddef>
#include <cstdint>

namespace vorlane {

inline constexpr std::size_t kConfigTextUnits = 4096;

// Writes "RGBをAで割る: <setting>" into the one module-wide buffer and
// returns it.
const char16_t* format_config_text() noexcept;

}  // namespace vorlane
