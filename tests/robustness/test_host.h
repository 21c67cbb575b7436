#pragma once
// A host for bad requests: an OutputRequest in a block of exactly the
// record's size that no read can run past (see guarded_block.h), the slots we
// must not read filled with garbage, and callbacks that log what they see.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "guarded_block.h"
#include "host/output_request.h"

namespace vorlane::robust {

struct HostConfig {
    std::int32_t width = 5;
    std::int32_t height = 3;
    std::int32_t fps_num = 30;
    std::int32_t fps_den = 1;
    std::int32_t frame_count = 3;
    std::u16string path;
    bool null_path = false;
    std::int32_t stop_at = -1;  // should_stop answers true from this frame on
    std::int32_t null_at = -1;  // fetch_frame answers null for this frame
    // Served for every frame instead of real pixels (for sizes that must be
    // refused before any pixel is read); null serves real frames.
    const void* pixels_override = nullptr;
};

struct HostLog {
    std::vector<std::string> calls;  // "setup 16 1", "progress 0 3", "stop 0", "fetch 0"
    int fetches = 0;
};

class TestHost {
public:
    explicit TestHost(HostConfig config);
    ~TestHost();

    // The record to hand to on_output; rebuilt (fresh garbage) on each call.
    OutputRequest* request();
    const HostLog& log() const { return log_; }

    // The 8-bit RGBA bytes frame `index` should come out as (alpha is 1).
    std::vector<std::uint8_t> expected_rgba(std::int32_t index) const;

private:
    HostConfig config_;
    HostLog log_;
    std::unique_ptr<GuardedBlock> record_;
    std::unique_ptr<GuardedBlock> frame_;
};

}  // namespace vorlane::robust
