#pragma once
// A stand-in for the closed host: fills an OutputRequest, serves its
// callbacks from the demo animation, and logs every call it receives. The
// record sits in a block of exactly its size that no read can run past, with
// the slots the plugin must not read filled with garbage.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "demo_animation.h"
#include "host/plugin_table.h"

namespace vorlane::host {

struct HostScript {
    std::int32_t width = 320;
    std::int32_t height = 180;
    std::int32_t fps_num = 30;
    std::int32_t fps_den = 1;
    std::int32_t frame_count = 30;
    std::u16string output_path;
    bool null_path = false;         // output_path is handed over as null
    DemoContent content = DemoContent::Shapes;
    std::int32_t stop_before = -1;  // should_stop answers true from this frame on
    std::int32_t null_frame = -1;   // fetch_frame answers null for this frame
    // Each frame in a fresh block of exactly its size that no read can run
    // past, freed at the next fetch: the plugin reads a frame completely
    // before its next call, and not a byte further.
    bool guarded_frames = false;
    // Served for every frame instead of rendered pixels (for sizes that must
    // be refused before any pixel is read).
    const void* frame_override = nullptr;
    std::function<void(std::int32_t index, std::int32_t total)> on_progress;
};

struct HostLog {
    std::vector<std::string> calls;  // "setup 16 1", "progress 0 3", "stop? 0", "fetch 0 HF64", ...
    std::int32_t frames_served = 0;  // non-null frames handed out
};

// What takes the request: the module's on_output, or the engine in process.
using OnOutput = std::function<bool(OutputRequest*)>;

// Runs one export. Returns on_output's result.
bool run_export(const OnOutput& on_output, const HostScript& script, HostLog& log);
bool run_export(const OutputPluginTable& table, const HostScript& script, HostLog& log);

}  // namespace vorlane::host
