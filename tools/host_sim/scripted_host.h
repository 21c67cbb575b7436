#pragma once
// A stand-in for the closed host: fills an OutputRequest, serves its
// callbacks from the demo animation, and logs every call it receives.
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
    DemoContent content = DemoContent::Shapes;
    std::int32_t stop_before = -1;  // should_stop answers true from this frame on
    std::int32_t null_frame = -1;   // fetch_frame answers null for this frame
    std::function<void(std::int32_t index, std::int32_t total)> on_progress;
};

struct HostLog {
    std::vector<std::string> calls;  // "setup 16 1", "progress 0 3", "stop? 0", "fetch 0 HF64", ...
    std::int32_t frames_served = 0;  // non-null frames handed out
};

// Runs one export through the table's on_output. Returns its result.
bool run_export(const OutputPluginTable& table, const HostScript& script, HostLog& log);

}  // namespace vorlane::host
