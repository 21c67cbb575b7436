#include "scripted_host.h"

#include <cstring>
#include <memory>

#include "guarded_block.h"

namespace vorlane::host {
namespace {

// The host's callbacks carry no context pointer, so one export at a time
// is served from here.
struct Session {
    const HostScript* script;
    HostLog* log;
    std::vector<std::uint16_t> frame;
    std::unique_ptr<GuardedBlock> guarded_frame;
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
    current->guarded_frame.reset();
    if (index == s.null_frame || fourcc != kFourccHF64) return nullptr;
    ++current->log->frames_served;
    if (s.frame_override) return const_cast<void*>(s.frame_override);
    render_demo_frame(s.content, s.width, s.height, index, s.frame_count, current->frame);
    if (!s.guarded_frames) return current->frame.data();
    const std::size_t bytes = current->frame.size() * sizeof(std::uint16_t);
    current->guarded_frame = std::make_unique<GuardedBlock>(bytes);
    std::memcpy(current->guarded_frame->data(), current->frame.data(), bytes);
    return current->guarded_frame->data();
}

}  // namespace

bool run_export(const OnOutput& on_output, const HostScript& script, HostLog& log) {
    Session session{&script, &log, {}, {}, -1};
    current = &session;

    const GuardedBlock record(sizeof(OutputRequest));
    std::memset(record.data(), 0xCC, sizeof(OutputRequest));
    auto* request = reinterpret_cast<OutputRequest*>(record.data());
    request->width = script.width;
    request->height = script.height;
    request->fps_num = script.fps_num;
    request->fps_den = script.fps_den;
    request->frame_count = script.frame_count;
    request->output_path = script.null_path ? nullptr : script.output_path.c_str();
    request->fetch_frame = fetch_frame;
    request->should_stop = should_stop;
    request->report_progress = report_progress;
    request->setup_hook = setup_hook;

    const bool ok = on_output(request);
    current = nullptr;
    return ok;
}

bool run_export(const OutputPluginTable& table, const HostScript& script, HostLog& log) {
    return run_export([&](OutputRequest* request) { return table.on_output(request); }, script, log);
}

}  // namespace vorlane::host
