#include "scripted_host.h"

#include <cstring>

namespace vorlane::host {
namespace {

// The host's callbacks carry no context pointer, so one export at a time
// is served from here.
struct Session {
    const HostScript* script;
    HostLog* log;
    std::vector<std::uint16_t> frame;
    std::int32_t last_index = -1;
};
Session* current = nullptr;

void VORLANE_CALL setup_hook(std::int32_t a, std::int32_t b) {
    current->log->calls.push_back("setup " + std::to_string(a) + " " + std::to_string(b));
}

void VORLANE_CALL report_progress(std::int32_t index, std::int32_t total) {
    current->log->calls.push_back("progress " + std::to_string(index) + " " + std::to_string(total));
    if (current->script->on_progress) current->script->on_progress(index, total);
}

bool VORLANE_CALL should_stop() {
    const std::int32_t next = current->last_index + 1;
    current->log->calls.push_back("stop? " + std::to_string(next));
    return current->script->stop_before >= 0 && next >= current->script->stop_before;
}

void* VORLANE_CALL fetch_frame(std::int32_t index, std::uint32_t fourcc) {
    char code[5] = {};
    std::memcpy(code, &fourcc, 4);
    current->log->calls.push_back("fetch " + std::to_string(index) + " " + code);
    current->last_index = index;
    const HostScript& s = *current->script;
    if (index == s.null_frame || fourcc != kFourccHF64) return nullptr;
    render_demo_frame(s.content, s.width, s.height, index, s.frame_count, current->frame);
    ++current->log->frames_served;
    return current->frame.data();
}

}  // namespace

bool run_export(const OutputPluginTable& table, const HostScript& script, HostLog& log) {
    Session session{&script, &log, {}, -1};
    current = &session;

    OutputRequest request;
    std::memset(&request, 0, sizeof request);
    request.width = script.width;
    request.height = script.height;
    request.fps_num = script.fps_num;
    request.fps_den = script.fps_den;
    request.frame_count = script.frame_count;
    request.output_path = script.output_path.c_str();
    request.fetch_frame = fetch_frame;
    request.should_stop = should_stop;
    request.report_progress = report_progress;
    request.setup_hook = setup_hook;

    const bool ok = table.on_output(&request);
    current = nullptr;
    return ok;
}

}  // namespace vorlane::host
