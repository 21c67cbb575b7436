#pragma once
// The record in which the host describes one export. Its layout is the
// host's: x64, natural alignment. The plugin reads only the named fields.

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define VORLANE_CALL __cdecl
#else
#define VORLANE_CALL
#endif

namespace vorlane {

// FOURCC of the only frame layout we ask for: four binary16 values R, G, B, A
// per pixel. Its bytes in memory spell "HF64".
inline constexpr std::uint32_t kFourccHF64 = 0x34364648u;

extern "C" {
using FetchFrameFn = void*(VORLANE_CALL*)(std::int32_t index, std::uint32_t fourcc);
using ShouldStopFn = bool(VORLANE_CALL*)();
using ReportProgressFn = void(VORLANE_CALL*)(std::int32_t index, std::int32_t total);
using SetupHookFn = void(VORLANE_CALL*)(std::int32_t, std::int32_t);
}

struct OutputRequest {
    std::int32_t not_read_0;
    std::int32_t width;
    std::int32_t height;
    std::int32_t fps_num;
    std::int32_t fps_den;
    std::int32_t frame_count;
    std::uint8_t not_read_24[16];
    const char16_t* output_path;  // NUL-terminated UTF-16
    FetchFrameFn fetch_frame;
    void* not_read_56;
    ShouldStopFn should_stop;
    ReportProgressFn report_progress;
    SetupHookFn setup_hook;
    // The host's record may go on; nothing at or past offset 88 is read.
};

static_assert(sizeof(void*) == 8, "the host boundary is defined for 64-bit code");
static_assert(sizeof(bool) == 1);
static_assert(offsetof(OutputRequest, width) == 4);
static_assert(offsetof(OutputRequest, height) == 8);
static_assert(offsetof(OutputRequest, fps_num) == 12);
static_assert(offsetof(OutputRequest, fps_den) == 16);
static_assert(offsetof(OutputRequest, frame_count) == 20);
static_assert(offsetof(OutputRequest, output_path) == 40);
static_assert(offsetof(OutputRequest, fetch_frame) == 48);
static_assert(offsetof(OutputRequest, should_stop) == 64);
static_assert(offsetof(OutputRequest, report_progress) == 72);
static_assert(offsetof(OutputRequest, setup_hook) == 80);
static_assert(sizeof(OutputRequest) == 88);

}  // namespace vorlane
