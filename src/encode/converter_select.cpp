#include <algorithm>
#include <atomic>

#include "encode/converter_path.h"
#include "encode/float_environment.h"
#include "encode/frame_converter.h"
#include "encode/x86/convert_x86.h"

namespace vorlane {
namespace {

ConverterPath detect() {
#if defined(VORLANE_X86_64)
    return x86::cpu_has_avx2_f16c() ? ConverterPath::Avx2 : ConverterPath::Sse2;
#else
    return ConverterPath::Plain;
#endif
}

std::atomic<ConverterPath> ceiling{ConverterPath::Avx2};

// Not a function-local static: MSVC guards those with per-thread state, which
// would give the module a TLS directory. Two threads that both detect agree.
constexpr int kUndetected = -1;
std::atomic<int> best{kUndetected};

}  // namespace

ConverterPath best_converter_path() {
    int path = best.load(std::memory_order_relaxed);
    if (path == kUndetected) {
        path = static_cast<int>(detect());
        best.store(path, std::memory_order_relaxed);
    }
    return static_cast<ConverterPath>(path);
}

ConverterPath active_converter_path() {
    return std::min(best_converter_path(), ceiling.load(std::memory_order_relaxed));
}

void set_converter_override(ConverterPath path) {
    ceiling.store(path, std::memory_order_relaxed);
}

void clear_converter_override() {
    ceiling.store(ConverterPath::Avx2, std::memory_order_relaxed);
}

void FrameConverter::convert(const std::uint8_t* hf64, std::uint32_t* argb, std::size_t pixel_count, bool divide) {
    const DefaultFloatEnvironment default_mode;
    switch (active_converter_path()) {
#if defined(VORLANE_X86_64)
    case ConverterPath::Avx2:
        x86::convert_avx2(hf64, argb, pixel_count, divide);
        return;
    case ConverterPath::Sse2:
        x86::convert_sse2(hf64, argb, pixel_count, divide);
        return;
#endif
    default:
        convert_plain(hf64, argb, pixel_count, divide);
        return;
    }
}

}  // namespace vorlane
