#pragma once
// Seam: counters of what a leaking plugin would make grow, sampled between
// exports. Windows: GDI and USER objects, handles, private bytes; POSIX:
// open descriptors and resident and peak memory.
#include <cstdint>
#include <string>
#include <vector>

namespace vorlane::host {

struct ProcessCounter {
    std::string name;
    std::int64_t value;
    bool is_handle_count;  // must not grow at all once warmed up; memory may wobble
};

std::vector<ProcessCounter> sample_process_counters();

}  // namespace vorlane::host
