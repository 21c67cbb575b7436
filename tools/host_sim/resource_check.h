#pragma once
// The tests' resource checks, compiled into vorlane-host-test only: main
// calls them under `if constexpr (kTestSwitches)`, so vorlane-host links
// neither them nor the process counters.
#include <cstdint>
#include <vector>

#include "options.h"
#include "process_stats.h"

namespace vorlane::host {

struct ResourceSamples {
    std::vector<ProcessCounter> settled;  // after the warm-up exports
    std::vector<ProcessCounter> last;
};

// After export `run`: the planted leak (--leak-for-test), and with
// --report-resources the counters, printed and kept in `samples`.
void after_export(const HostOptions& options, std::int32_t run, ResourceSamples& samples);

// After the last export: a "growth:" line for every counter over its limit;
// the exit status, 3 with --fail-on-growth when one was, else that of the exports.
int exit_status(const HostOptions& options, const ResourceSamples& samples, bool all_ok);

}  // namespace vorlane::host
