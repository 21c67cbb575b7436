#include "test_host.h"

#include <cstring>
#include <stdexcept>

#include "half.h"

namespace vorlane::robust {
namespace {

// The callbacks carry no context, so one host serves at a time.
TestHost* current = nullptr;
HostConfig* current_config = nullptr;
HostLog* current_log = nullptr;
std::uint8_t* (*current_frame)(std::int32_t) = nullptr;

std::uint8_t channel(std::int32_t frame, std::size_t pixel, int c) {
    // Hashed, so that frames differ everywhere and do not compress to nothing.
    std::uint32_t x = std::uint32_t(frame) * 73856093u ^ std::uint32_t(pixel) * 19349663u ^ std::uint32_t(c) * 83492791u;
    x ^= x >> 13;
    x *= 0x5BD1E995u;
    x ^= x >> 15;
    return static_cast<std::uint8_t>(x);
}

}  // namespace

TestHost::TestHost(HostConfig config) : config_(std::move(config)) {
    if (current) throw std::logic_error("one TestHost at a time");
    current = this;
}

TestHost::~TestHost() {
    current = nullptr;
}

std::vector<std::uint8_t> TestHost::expected_rgba(std::int32_t index) const {
    const std::size_t pixels = std::size_t(config_.width) * std::size_t(config_.height);
    std::vector<std::uint8_t> out;
    for (std::size_t p = 0; p < pixels; ++p) {
        for (int c = 0; c < 3; ++c) out.push_back(channel(index, p, c));
        out.push_back(255);
    }
    return out;
}

namespace {

void VORLANE_CALL setup_hook(std::int32_t a, std::int32_t b) {
    current_log->calls.push_back("setup " + std::to_string(a) + " " + std::to_string(b));
}

void VORLANE_CALL report_progress(std::int32_t index, std::int32_t total) {
    current_log->calls.push_back("progress " + std::to_string(index) + " " + std::to_string(total));
}

bool VORLANE_CALL should_stop() {
    // Frames are asked for in order, so the next index is the fetch count.
    const int next = current_log->fetches;
    current_log->calls.push_back("stop " + std::to_string(next));
    return current_config->stop_at >= 0 && next >= current_config->stop_at;
}

void* VORLANE_CALL fetch_frame(std::int32_t index, std::uint32_t fourcc) {
    current_log->calls.push_back("fetch " + std::to_string(index));
    ++current_log->fetches;
    if (fourcc != kFourccHF64 || index == current_config->null_at) return nullptr;
    if (current_config->pixels_override) return const_cast<void*>(current_config->pixels_override);
    return current_frame(index);
}

}  // namespace

OutputRequest* TestHost::request() {
    current_config = &config_;
    current_log = &log_;
    current_frame = [](std::int32_t index) -> std::uint8_t* {
        const HostConfig& c = current->config_;
        const std::size_t pixels = std::size_t(c.width) * std::size_t(c.height);
        // Exactly the frame's size, fresh for every frame: the plugin reads it
        // completely before its next call, and not a byte further.
        current->frame_ = std::make_unique<GuardedBlock>(pixels * 8);
        std::uint8_t* f = current->frame_->data();
        for (std::size_t p = 0; p < pixels; ++p) {
            for (int ch = 0; ch < 4; ++ch) {
                const float v = ch == 3 ? 1.0f : float(channel(index, p, ch)) / 255.0f;
                const std::uint16_t h = host::half_from_float(v);
                f[p * 8 + ch * 2] = std::uint8_t(h);
                f[p * 8 + ch * 2 + 1] = std::uint8_t(h >> 8);
            }
        }
        return f;
    };

    record_ = std::make_unique<GuardedBlock>(sizeof(OutputRequest));
    std::memset(record_->data(), 0xCC, sizeof(OutputRequest));
    auto* r = reinterpret_cast<OutputRequest*>(record_->data());
    r->width = config_.width;
    r->height = config_.height;
    r->fps_num = config_.fps_num;
    r->fps_den = config_.fps_den;
    r->frame_count = config_.frame_count;
    r->output_path = config_.null_path ? nullptr : config_.path.c_str();
    r->fetch_frame = fetch_frame;
    r->should_stop = should_stop;
    r->report_progress = report_progress;
    r->setup_hook = setup_hook;
    return r;
}

}  // namespace vorlane::robust
