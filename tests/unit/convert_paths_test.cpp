// Every conversion path the CPU can run must give the plain path's words,
// bit for bit: every binary16 value in every channel, alphas that decide
// whether and how colour is divided, random pixels, every remainder of a
// vector group and every misaligned start.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "encode/converter_path.h"
#include "encode/frame_converter.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define VORLANE_TEST_MXCSR 1
#endif

namespace vorlane {
namespace {

// Alphas where the division changes course: ±0, subnormals, 1/255, 0.5, 1,
// above 1, the largest finite, infinities, NaNs, negatives.
constexpr std::uint16_t kAlphas[] = {
    0x0000, 0x8000, 0x0001, 0x03FF, 0x1C04, 0x3800, 0x3BFF, 0x3C00,
    0x3C01, 0x4000, 0x7BFF, 0x7C00, 0xFC00, 0x7E00, 0x7C01, 0xBC00, 0x8001,
};

struct Pixel {
    std::uint16_t r, g, b, a;
};

std::vector<std::uint8_t> to_bytes(const std::vector<Pixel>& pixels) {
    std::vector<std::uint8_t> bytes(pixels.size() * 8);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const std::uint16_t v[4] = {pixels[i].r, pixels[i].g, pixels[i].b, pixels[i].a};
        for (int c = 0; c < 4; ++c) {
            bytes[8 * i + 2 * c] = static_cast<std::uint8_t>(v[c]);
            bytes[8 * i + 2 * c + 1] = static_cast<std::uint8_t>(v[c] >> 8);
        }
    }
    return bytes;
}

std::string describe(const Pixel& p, bool divide) {
    char text[96];
    std::snprintf(text, sizeof text, "R %04X G %04X B %04X A %04X divide %d", p.r, p.g, p.b, p.a, divide);
    return text;
}

const char* name(ConverterPath path) {
    switch (path) {
    case ConverterPath::Plain: return "Plain";
    case ConverterPath::Sse2: return "Sse2";
    case ConverterPath::Avx2: return "Avx2";
    }
    return "?";
}

// The fastest path this CPU and OS can run, asked of the compiler's own
// feature query (which also checks that the OS saves YMM state), not of
// the selector's CPUID code, so that a selector that misreads the CPU fails
// here instead of quietly leaving the CPU on a slower path.
ConverterPath path_this_cpu_runs() {
#if (defined(__x86_64__) || defined(_M_X64)) && defined(__GNUC__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("f16c") ? ConverterPath::Avx2
                                                                             : ConverterPath::Sse2;
#elif defined(__x86_64__) || defined(_M_X64)
    return best_converter_path();  // no independent query with this compiler
#else
    return ConverterPath::Plain;
#endif
}

}  // namespace

// Readable parameter values in failure messages.
void PrintTo(ConverterPath path, std::ostream* out) {
    *out << name(path);
}

namespace {

class ConvertPaths : public testing::TestWithParam<ConverterPath> {
protected:
    void SetUp() override {
        if (GetParam() > path_this_cpu_runs()) GTEST_SKIP() << "this CPU cannot run " << name(GetParam());
        ASSERT_LE(GetParam(), best_converter_path()) << "this CPU runs " << name(GetParam()) << ", the selector not";
        set_converter_override(GetParam());
        ASSERT_EQ(active_converter_path(), GetParam());
    }
    void TearDown() override { clear_converter_override(); }

    // Converts through the selected path and reports the first pixel that
    // differs from the one-pixel reference.
    static void expect_same_as_plain(const std::vector<Pixel>& pixels, bool divide) {
        const std::vector<std::uint8_t> bytes = to_bytes(pixels);
        std::vector<std::uint32_t> got(pixels.size());
        FrameConverter::convert(bytes.data(), got.data(), pixels.size(), divide);
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            const Pixel& p = pixels[i];
            const std::uint32_t want = FrameConverter::convert_pixel(p.r, p.g, p.b, p.a, divide);
            if (got[i] != want) {
                ADD_FAILURE() << "pixel " << i << " (" << describe(p, divide) << "): got " << std::hex << got[i]
                              << ", plain gives " << want;
                return;
            }
        }
    }
};

TEST_P(ConvertPaths, EveryColourValueAgainstEachAlpha) {
    // Each colour channel runs through all 65536 values, in a different
    // order per channel so that neighbouring lanes differ.
    for (const bool divide : {false, true}) {
        for (const std::uint16_t a : kAlphas) {
            std::vector<Pixel> pixels(65536);
            for (std::uint32_t i = 0; i < 65536; ++i)
                pixels[i] = {std::uint16_t(i), std::uint16_t(i * 40503u + 7u), std::uint16_t(~i), a};
            expect_same_as_plain(pixels, divide);
        }
    }
}

TEST_P(ConvertPaths, EveryAlphaValueAgainstColours) {
    for (const bool divide : {false, true}) {
        for (const std::uint16_t c : kAlphas) {
            std::vector<Pixel> pixels(65536);
            for (std::uint32_t i = 0; i < 65536; ++i)
                pixels[i] = {c, std::uint16_t(0x3555), std::uint16_t(c ^ 0x8000), std::uint16_t(i)};
            expect_same_as_plain(pixels, divide);
        }
    }
}

TEST_P(ConvertPaths, RandomPixels) {
    std::mt19937 random(20261207);
    for (const bool divide : {false, true}) {
        std::vector<Pixel> pixels(1 << 16);
        for (Pixel& p : pixels) {
            const std::uint32_t w = random(), x = random();
            // Half the alphas come from the list of awkward ones.
            const std::uint16_t a = (x >> 16) & 1 ? kAlphas[(x >> 17) % std::size(kAlphas)] : std::uint16_t(x);
            p = {std::uint16_t(w), std::uint16_t(w >> 16), std::uint16_t(x), a};
        }
        expect_same_as_plain(pixels, divide);
    }
}

TEST_P(ConvertPaths, SoftEdgesNearRoundingBoundaries) {
    // Colour just below and above alpha, where one ulp in the reciprocal
    // decides between two bytes (0.3203125 / 0.640625 gives 127, not 128).
    std::vector<Pixel> pixels;
    for (std::uint32_t a = 0x1C00; a <= 0x3C00; a += 3)
        for (int d = -3; d <= 3; ++d) pixels.push_back({std::uint16_t(a / 2 + d), std::uint16_t(a + d), 0, std::uint16_t(a)});
    pixels.push_back({0x3520, 0, 0, 0x3920});
    expect_same_as_plain(pixels, true);
    expect_same_as_plain(pixels, false);
    std::uint32_t word = 0;
    const std::vector<std::uint8_t> bytes = to_bytes({{0x3520, 0, 0, 0x3920}});
    FrameConverter::convert(bytes.data(), &word, 1, true);
    EXPECT_EQ(word, 0xA37F0000u);
}

TEST_P(ConvertPaths, GroupsMixingOpaqueTransparentAndPartialAlpha) {
    // Vector paths may skip the division for a group whose alphas are all
    // 0, 1 or not above 0; a single partial alpha at any lane must bring it
    // back, for the whole group.
    constexpr std::uint16_t kNothingToDivide[] = {0x0000, 0x3C00, 0x8000, 0xBC00, 0x7E00, 0xFC00};
    std::vector<Pixel> pixels;
    std::mt19937 random(99);
    for (int group = 0; group < 4096; ++group) {
        const int partial_lane = group % 17;  // 8 ... 16: none in this group
        for (int lane = 0; lane < 8; ++lane) {
            const std::uint16_t a = lane == partial_lane ? std::uint16_t(0x0001 + random() % 0x3BFF)
                                                         : kNothingToDivide[random() % std::size(kNothingToDivide)];
            pixels.push_back({std::uint16_t(random() % 0x3E00), std::uint16_t(random()), std::uint16_t(0x3555), a});
        }
    }
    expect_same_as_plain(pixels, true);
    expect_same_as_plain(pixels, false);
}

TEST_P(ConvertPaths, EveryRemainderAndMisalignedStart) {
    // Input at every byte offset, output at every word offset within a
    // 32-byte line, so that both the vector loop's remainder and the pixels
    // taken before the output is aligned are met at every length.
    std::mt19937 random(7);
    for (std::size_t count = 1; count <= 40; ++count) {
        for (std::size_t in_offset = 0; in_offset < 8; ++in_offset) {
            for (std::size_t out_offset = 0; out_offset < 8; ++out_offset) {
                const bool divide = (count + in_offset + out_offset) % 2 == 0;
                std::vector<Pixel> pixels(count);
                for (Pixel& p : pixels)
                    p = {std::uint16_t(random() % 0x3E00), std::uint16_t(random()), std::uint16_t(random() % 0x3C01),
                         kAlphas[random() % std::size(kAlphas)]};
                const std::vector<std::uint8_t> bytes = to_bytes(pixels);
                // Exactly sized past the end, so that the sanitizer sees any
                // read or write beyond it.
                const auto input = std::make_unique<std::uint8_t[]>(in_offset + bytes.size());
                std::memcpy(input.get() + in_offset, bytes.data(), bytes.size());
                const auto output = std::make_unique<std::uint32_t[]>(out_offset + count);
                std::uint32_t* got = output.get() + out_offset;
                FrameConverter::convert(input.get() + in_offset, got, count, divide);
                for (std::size_t i = 0; i < count; ++i) {
                    const Pixel& p = pixels[i];
                    ASSERT_EQ(got[i], FrameConverter::convert_pixel(p.r, p.g, p.b, p.a, divide))
                        << "count " << count << " input offset " << in_offset << " output offset " << out_offset
                        << " pixel " << i << ": " << describe(p, divide);
                }
            }
        }
    }
}

TEST_P(ConvertPaths, NoPixels) {
    std::uint32_t untouched = 0xDEADBEEF;
    const std::uint8_t byte = 0;
    FrameConverter::convert(&byte, &untouched, 0, true);
    EXPECT_EQ(untouched, 0xDEADBEEFu);
}

#if defined(VORLANE_TEST_MXCSR)
TEST_P(ConvertPaths, HostFloatingPointModeChangesNothing) {
    // The host's thread may flush denormals, round another way or unmask
    // exceptions (a NaN pixel would then trap); none of it may show in the
    // words, and the host gets its own mode back, flags included.
    std::vector<Pixel> pixels;
    for (std::uint32_t m = 0; m < 0x0800; ++m)
        for (const std::uint16_t a : {std::uint16_t(0x0001), std::uint16_t(0x03FF), std::uint16_t(0x3C00), std::uint16_t(0x7BFF)})
            pixels.push_back({std::uint16_t(m), std::uint16_t(m | 0x8000), std::uint16_t(0x3C00 - m), a});
    std::mt19937 random(7);
    for (int i = 0; i < 4096; ++i)
        pixels.push_back({std::uint16_t(random()), std::uint16_t(random()), std::uint16_t(random()),
                          kAlphas[std::size_t(random()) % std::size(kAlphas)]});
    const std::vector<std::uint8_t> bytes = to_bytes(pixels);
    const unsigned saved = _mm_getcsr();
    const unsigned host_modes[] = {
        (saved | 0x8040u),            // flush-to-zero, denormals-are-zero
        (saved & ~0x6000u) | 0x2000u, // round down
        (saved & ~0x6000u) | 0x4000u, // round up
        (saved & ~0x6000u) | 0x6000u, // round toward zero
        (saved & ~0x1F80u) | 0x003Fu, // every exception unmasked, every flag already raised
    };
    for (const bool divide : {false, true}) {
        std::vector<std::uint32_t> want(pixels.size());
        for (std::size_t i = 0; i < pixels.size(); ++i)
            want[i] = FrameConverter::convert_pixel(pixels[i].r, pixels[i].g, pixels[i].b, pixels[i].a, divide);
        for (const unsigned mode : host_modes) {
            std::vector<std::uint32_t> got(pixels.size());
            _mm_setcsr(mode);
            FrameConverter::convert(bytes.data(), got.data(), pixels.size(), divide);
            const unsigned after = _mm_getcsr();
            _mm_setcsr(saved);
            ASSERT_EQ(after, mode) << std::hex << "the host's mode was not restored";
            for (std::size_t i = 0; i < pixels.size(); ++i)
                ASSERT_EQ(got[i], want[i]) << describe(pixels[i], divide) << std::hex << ", host mode " << mode;
        }
    }
}
#endif

INSTANTIATE_TEST_SUITE_P(EachPath, ConvertPaths,
                         testing::Values(ConverterPath::Plain, ConverterPath::Sse2, ConverterPath::Avx2),
                         [](const testing::TestParamInfo<ConverterPath>& info) { return name(info.param); });

TEST(ConverterSelection, ThisCpuPicksItsFastestPath) {
    // For the test bundle's report on the machine it ran on.
    std::printf("report: conversion path: %s\n", name(best_converter_path()));
    EXPECT_EQ(best_converter_path(), path_this_cpu_runs());
    clear_converter_override();
    EXPECT_EQ(active_converter_path(), best_converter_path());
}

}  // namespace
}  // namespace vorlane
