// A whole export with a stopwatch on every step: the steps of OutputJob::run
// and FrameEncoder::encode, in their order, on the platform's encoder and
// output file, with the demo animation as the host. The product itself
// carries no timers; with the default settings the file written here is
// byte-identical to the one vorlane-host writes (see docs/performance.md).
//
// The one step added is a first touch of each frame's fresh converted-pixel
// block before converting into it, timed on its own line: the product's
// conversion pays it, but it is the memory system's cost, not the
// conversion's.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#include <png.h>
#include <zlib.h>
#include "platform/posix/png_encoder_libpng.h"
#endif

#include "apng/apng_writer.h"
#include "demo_animation.h"
#include "encode/converter_path.h"
#include "encode/diagnostic_copy.h"
#include "encode/frame_converter.h"
#include "encode/setting.h"
#include "host/frame_delay.h"
#include "platform/output_file.h"
#include "platform/png_encoder.h"
#include "console.h"
#include "plugin_module.h"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The output file, with the time spent in its writes kept apart from the
// APNG writer's own work (scanning, framing, CRC).
class TimedSink final : public vorlane::ByteSink {
public:
    explicit TimedSink(vorlane::OutputFile& file) : file_(file) {}
    bool write(const std::uint8_t* data, std::size_t size) override {
        const auto t = Clock::now();
        const bool ok = file_.write(data, size);
        seconds += since(t);
        return ok;
    }
    bool overwrite(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override {
        const auto t = Clock::now();
        const bool ok = file_.overwrite(offset, data, size);
        seconds += since(t);
        return ok;
    }
    double seconds = 0;

private:
    vorlane::OutputFile& file_;
};

double peak_resident_mib() {
#if defined(_WIN32)
    PROCESS_MEMORY_COUNTERS counters{};
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return double(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;  // KiB on Linux
#endif
}

struct Options {
    std::int32_t width = 1280, height = 720, frames = 60;
    std::filesystem::path output = "vorlane-bench.png";  // any name: UTF-16 on Windows
    std::filesystem::path raw;  // where to leave the converted frames as RGBA, for other encoders
    bool noise = false;
    bool report = false;  // every line as a "report:" line, for the test bundle's results
#if !defined(_WIN32)
    vorlane::LibpngSettings png = vorlane::kLibpngSettings;
#endif
};

void usage() {
    std::fprintf(stderr,
                 "usage: export_bench [-W width] [-H height] [-n frames] [-o out.png] [--raw frames.rgba] [--noise]"
                 " [--report]"
#if !defined(_WIN32)
                 " [--level 0-9] [--filters none|sub|up|avg|paeth|all[+...]] [--strategy default|filtered|rle|huffman]"
#endif
                 "\n");
}

bool parse(int argc, char** argv, Options& o) {
    std::string error;
    const auto arguments = vorlane::host::program_arguments(argc, argv, error);
    if (!arguments) return false;
    for (std::size_t i = 0; i < arguments->size(); ++i) {
        const std::string& arg = (*arguments)[i].text;
        if (arg == "--noise" || arg == "--report") {
            (arg == "--noise" ? o.noise : o.report) = true;
            continue;
        }
        if (i + 1 >= arguments->size()) return false;
        const vorlane::host::Argument& next = (*arguments)[++i];
        const char* value = next.text.c_str();
        if (arg == "-W") o.width = std::atoi(value);
        else if (arg == "-H") o.height = std::atoi(value);
        else if (arg == "-n") o.frames = std::atoi(value);
        else if (arg == "-o") o.output = next.path;
        else if (arg == "--raw") o.raw = next.path;
#if !defined(_WIN32)
        else if (arg == "--level") o.png.level = std::atoi(value);
        else if (arg == "--filters") {
            // One name, or several joined by '+' for libpng to choose from per row.
            o.png.filters = 0;
            std::string list = value;
            for (std::size_t at = 0; at <= list.size();) {
                const std::size_t end = std::min(list.find('+', at), list.size());
                const std::string f = list.substr(at, end - at);
                o.png.filters |= f == "none" ? PNG_FILTER_NONE : f == "sub" ? PNG_FILTER_SUB : f == "up" ? PNG_FILTER_UP
                               : f == "avg" ? PNG_FILTER_AVG : f == "paeth" ? PNG_FILTER_PAETH : PNG_ALL_FILTERS;
                at = end + 1;
            }
        } else if (arg == "--strategy") {
            const std::string s = value;
            o.png.strategy = s == "filtered" ? Z_FILTERED : s == "rle" ? Z_RLE : s == "huffman" ? Z_HUFFMAN_ONLY
                           : Z_DEFAULT_STRATEGY;
        }
#endif
        else return false;
    }
    return o.width > 0 && o.height > 0 && o.frames > 0;
}

}  // namespace

int main(int argc, char** argv) {
    vorlane::host::restrict_dll_search();
    Options o;
    if (!parse(argc, argv, o)) {
        usage();
        return 2;
    }
    using namespace vorlane;
    const bool divide = divide_rgb_by_alpha.load() != 0;
    const std::size_t pixels = std::size_t(o.width) * std::size_t(o.height);
    const std::size_t block_size = pixels * 4;

    double fetch = 0, first_touch = 0, convert = 0, encode = 0, apng = 0, file_other = 0;
    std::uint64_t png_bytes = 0;
    std::vector<std::uint16_t> host_frame;  // the host's frame buffer, reused as a host would
    std::ofstream raw;
    if (!o.raw.empty()) raw.open(o.raw, std::ios::binary);
    std::vector<std::uint8_t> rgba(o.raw.empty() ? 0 : block_size);

    const auto start = Clock::now();
    auto t = Clock::now();
    const FrameDelayValue delay = FrameDelay(30, 1);
    auto file = OutputFile::create(o.output.u16string().c_str(), OutputFile::Access::ReadWrite);
    if (!file) {
        std::fprintf(stderr, "export_bench: cannot create %s\n", host::utf8(o.output).c_str());
        return 1;
    }
    TimedSink sink(*file);
    file_other += since(t);
    {
#if defined(_WIN32)
        const std::unique_ptr<PngEncoder> encoder = start_png_encoder();
#else
        const std::unique_ptr<PngEncoder> encoder = start_libpng_encoder(o.png);
#endif
        ApngWriter writer(sink, {o.width, o.height, o.frames, delay.num, delay.den});
        for (std::int32_t i = 0; i < o.frames; ++i) {
            t = Clock::now();
            host::render_demo_frame(o.noise ? host::DemoContent::Noise : host::DemoContent::Shapes, o.width, o.height,
                                    i, o.frames, host_frame);
            fetch += since(t);

            t = Clock::now();
            MemoryBlock argb = MemoryBlock::allocate(block_size, true);
            if (!argb) return 1;
            for (std::size_t at = 0; at < block_size; at += 4096) static_cast<volatile std::uint8_t*>(argb.data())[at] = 0;
            first_touch += since(t);

            t = Clock::now();
            FrameConverter::convert(reinterpret_cast<const std::uint8_t*>(host_frame.data()),
                                    reinterpret_cast<std::uint32_t*>(argb.data()), pixels, divide);
            convert += since(t);

            t = Clock::now();
            const std::unique_ptr<DiagnosticFolder> copies = DiagnosticFolder::open();
            file_other += since(t);

            t = Clock::now();
            MemoryBlock png = encoder->encode(argb, o.width, o.height, copies.get(), i);
            encode += since(t);
            if (!png) return 1;

            if (raw.is_open()) {  // untimed: only for the side-by-side with other encoders
                for (std::size_t p = 0; p < pixels; ++p) {
                    const std::uint8_t* s = argb.data() + 4 * p;
                    std::uint8_t* d = rgba.data() + 4 * p;
                    d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = s[3];
                }
                raw.write(reinterpret_cast<const char*>(rgba.data()), std::streamsize(rgba.size()));
            }

            t = Clock::now();
            argb.reset();
            first_touch += since(t);  // handing the pages back belongs with taking them

            t = Clock::now();
            if (copies) copies->write_copy(diagnostic_name("at", i), png.data(), png.size());
            file_other += since(t);

            png_bytes += png.size();
            const double before = sink.seconds;
            t = Clock::now();
            writer.add_frame(i, png.data(), png.size());
            png.reset();
            apng += since(t) - (sink.seconds - before);
        }
        const double before = sink.seconds;
        t = Clock::now();
        writer.finish();
        apng += since(t) - (sink.seconds - before);
        t = Clock::now();
        const bool closed = file->close();
        file_other += since(t);
        if (writer.write_failed() || !closed) std::fprintf(stderr, "export_bench: the output file could not be written\n");
    }
    const double total = since(start);
    raw.close();
    const double file_out = sink.seconds + file_other;

    // Each line as it stands, or as a "report:" line that names the export.
    char tag[64];
    std::snprintf(tag, sizeof tag, "report: export_bench %dx%d: ", o.width, o.height);
    const auto say = [&](const char* format, auto... values) {
        char text[256];
        std::snprintf(text, sizeof text, format, values...);
        const char* start = text;
        if (o.report)
            while (*start == ' ') ++start;
        std::printf("%s%s\n", o.report ? tag : "", start);
    };
    const char* paths[] = {"plain", "SSE2", "AVX2+F16C"};
#if defined(_WIN32)
    say("export %dx%d, %d frames of %s, divide %s, converter %s", o.width, o.height, o.frames,
        o.noise ? "noise" : "moving shapes", divide ? "on" : "off", paths[static_cast<int>(active_converter_path())]);
#else
    say("export %dx%d, %d frames of %s, divide %s, converter %s, libpng level %d filters 0x%02x strategy %d",
        o.width, o.height, o.frames, o.noise ? "noise" : "moving shapes", divide ? "on" : "off",
        paths[static_cast<int>(active_converter_path())], o.png.level, o.png.filters, o.png.strategy);
#endif
    say("  %-34s %8.2f s  %6.2f frames/s", "whole export", total, o.frames / total);
    say("  %-34s %8.2f s  %6.2f frames/s", "without fetching (the plugin's part)", total - fetch,
        o.frames / (total - fetch));
    const auto line = [&](const char* what, double seconds) {
        say("  %-34s %8.2f ms/frame  %5.1f %%", what, 1e3 * seconds / o.frames, 100 * seconds / total);
    };
    line("fetching (host renders the frame)", fetch);
    line("first touch of the converted block", first_touch);
    line("conversion", convert);
    line("PNG encoding", encode);
    line("APNG writing", apng);
    line("file output", file_out);
    say("  %-34s %8.2f %%  (target < 5 %%)", "(conversion + APNG + file) / PNG",
        100 * (convert + apng + file_out) / encode);
    say("  %-34s %8.2f %%", "first touch / PNG", 100 * first_touch / encode);
    std::error_code error;
    const auto file_size = std::filesystem::file_size(o.output, error);
    say("  %-34s %8llu bytes (frame PNGs %.1f KiB each on average)", "APNG file",
        error ? 0ull : static_cast<unsigned long long>(file_size), png_bytes / 1024.0 / o.frames);
    say("  %-34s %8.1f MiB", "peak resident memory", peak_resident_mib());
    return 0;
}
