// Converting one 1920x1080 frame of the demo animation: the plain loop, each
// vector path this CPU runs, and memcpy over the same buffers as the
// bandwidth the conversion cannot beat. Every buffer is touched before timing
// starts. The ratios at the end come from this one run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "demo_animation.h"
#include "encode/converter_path.h"
#include "encode/frame_converter.h"

namespace {

constexpr std::int32_t kWidth = 1920, kHeight = 1080;
constexpr std::size_t kPixels = std::size_t(kWidth) * kHeight;

struct Buffers {
    std::vector<std::uint16_t> hf64;     // 16.6 MB, the host's frame
    std::vector<std::uint16_t> noise;    // the same size of random values: no pixel is opaque or transparent
    std::vector<std::uint32_t> argb;     // 8.3 MB, the converted block
    std::vector<std::uint8_t> scratch;   // 16.6 MB, for the full-size copy
    Buffers() : argb(kPixels, 0), scratch(kPixels * 8, 0) {
        // A frame from the middle of the animation: transparent background,
        // soft edges and highlights above 1.
        vorlane::host::render_demo_frame(vorlane::host::DemoContent::Shapes, kWidth, kHeight, 20, 60, hf64);
        vorlane::host::render_demo_frame(vorlane::host::DemoContent::Noise, kWidth, kHeight, 20, 60, noise);
    }
    const std::uint8_t* in() const { return reinterpret_cast<const std::uint8_t*>(hf64.data()); }
};

Buffers& buffers() {
    static Buffers b;
    return b;
}

void convert_on(benchmark::State& state, vorlane::ConverterPath path, bool divide, bool noise = false) {
    if (path > vorlane::best_converter_path()) {
        state.SkipWithError("this CPU cannot run this path");
        return;
    }
    Buffers& b = buffers();
    vorlane::set_converter_override(path);
    const std::uint8_t* in = noise ? reinterpret_cast<const std::uint8_t*>(b.noise.data()) : b.in();
    for (auto _ : state) {
        vorlane::FrameConverter::convert(in, b.argb.data(), kPixels, divide);
        benchmark::ClobberMemory();
    }
    vorlane::clear_converter_override();
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kPixels * 12));
}

void BM_convert_plain(benchmark::State& s) { convert_on(s, vorlane::ConverterPath::Plain, true); }
void BM_convert_sse2(benchmark::State& s) { convert_on(s, vorlane::ConverterPath::Sse2, true); }
void BM_convert_avx2(benchmark::State& s) { convert_on(s, vorlane::ConverterPath::Avx2, true); }
void BM_convert_fast(benchmark::State& s) { convert_on(s, vorlane::best_converter_path(), true); }
void BM_convert_fast_nodivide(benchmark::State& s) { convert_on(s, vorlane::best_converter_path(), false); }
// The worst case for the fast path: every pixel's alpha lies strictly
// between 0 and 1, so every group divides.
void BM_convert_fast_noise(benchmark::State& s) { convert_on(s, vorlane::best_converter_path(), true, true); }

// The conversion's own traffic: all 16.6 MB of the frame read, 8.3 MB of
// block written (each half of the frame copied onto the block in turn).
void BM_memcpy_frame_onto_block(benchmark::State& state) {
    Buffers& b = buffers();
    const std::size_t half = kPixels * 4;
    for (auto _ : state) {
        std::memcpy(b.argb.data(), b.in(), half);
        std::memcpy(b.argb.data(), b.in() + half, half);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kPixels * 12));
}

// Two plainer references: the block's size alone, and the whole frame.
void BM_memcpy_block(benchmark::State& state) {
    Buffers& b = buffers();
    for (auto _ : state) {
        std::memcpy(b.argb.data(), b.in(), kPixels * 4);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kPixels * 8));
}

void BM_memcpy_frame(benchmark::State& state) {
    Buffers& b = buffers();
    for (auto _ : state) {
        std::memcpy(b.scratch.data(), b.in(), kPixels * 8);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kPixels * 16));
}

// The machines these run on are shared: the fastest of several repetitions
// is the figure least disturbed by other work, and the ratios use it.
double fastest(const std::vector<double>& v) {
    return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
}

#define VORLANE_BENCH(fn)                                                                                    \
    BENCHMARK(fn)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true)->ComputeStatistics( \
        "min", fastest)

VORLANE_BENCH(BM_convert_plain);
VORLANE_BENCH(BM_convert_sse2);
VORLANE_BENCH(BM_convert_avx2);
VORLANE_BENCH(BM_convert_fast);
VORLANE_BENCH(BM_convert_fast_nodivide);
VORLANE_BENCH(BM_convert_fast_noise);
VORLANE_BENCH(BM_memcpy_frame_onto_block);
VORLANE_BENCH(BM_memcpy_block);
VORLANE_BENCH(BM_memcpy_frame);

// Keeps each benchmark's real time per iteration for the ratios: the fastest
// repetition, or the single figure when repetitions are turned off.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min")
                fastest_runs[name] = run.GetAdjustedRealTime();
            else if (run.run_type == Run::RT_Iteration)
                singles[name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double time(const std::string& name) const {
        if (auto m = fastest_runs.find(name); m != fastest_runs.end()) return m->second;
        if (auto s = singles.find(name); s != singles.end()) return s->second;
        return 0;
    }
    std::map<std::string, double> fastest_runs, singles;
};

void print_ratio(const RatioReporter& r, const char* a, const char* b) {
    const double x = r.time(a), y = r.time(b);
    if (x <= 0 || y <= 0) return;
    std::printf("  %-28s / %-28s = %6.2f\n", a, b, x / y);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    buffers();  // render and touch everything before any timing
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const char* names[] = {"Plain", "SSE2", "AVX2+F16C"};
    std::printf("\nfast path on this CPU: %s\nratios (time / time, this run):\n",
                names[static_cast<int>(vorlane::best_converter_path())]);
    print_ratio(reporter, "BM_convert_fast", "BM_memcpy_frame_onto_block");
    print_ratio(reporter, "BM_convert_fast", "BM_memcpy_block");
    print_ratio(reporter, "BM_convert_fast", "BM_memcpy_frame");
    print_ratio(reporter, "BM_convert_plain", "BM_convert_fast");
    print_ratio(reporter, "BM_convert_sse2", "BM_memcpy_frame_onto_block");
    print_ratio(reporter, "BM_convert_avx2", "BM_memcpy_frame_onto_block");
    print_ratio(reporter, "BM_convert_fast_nodivide", "BM_memcpy_frame_onto_block");
    print_ratio(reporter, "BM_convert_fast_noise", "BM_memcpy_frame_onto_block");
    benchmark::Shutdown();
    return 0;
}
