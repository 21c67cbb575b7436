#include "resource_check.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "console.h"

namespace vorlane::host {
namespace {

// Prints a "growth:" line for every counter over its limit, from the end of
// the warm-up to the last export, and says whether any was: a handle count
// may grow by a quarter of a handle per export, memory by `memory_tolerance`
// bytes per export (unchecked when negative). A leak worth finding loses a
// handle or some memory at every export, so it adds up; a thread or cache
// that comes and goes (GDI+ starts a thread for every GdiplusStartup) does
// not, and spread over many exports it stays within the limits.
bool report_growth(const std::vector<ProcessCounter>& settled, const std::vector<ProcessCounter>& last,
                   std::int32_t exports, std::int32_t memory_tolerance) {
    const std::int32_t counted = exports - kWarmUpExports;
    bool grew = false;
    for (std::size_t i = 0; i < last.size() && i < settled.size(); ++i) {
        const bool handles = last[i].is_handle_count;
        if (!handles && memory_tolerance < 0) continue;
        const std::int64_t growth = last[i].value - settled[i].value;
        if (handles ? 4 * growth <= counted : growth <= std::int64_t(memory_tolerance) * counted) continue;
        const double rate = double(growth) / counted;
        char over[64];
        if (handles) std::snprintf(over, sizeof over, "%.2f per export, more than 0.25", rate);
        else std::snprintf(over, sizeof over, "%.0f per export, more than %d", rate, memory_tolerance);
        std::printf("growth: %s %lld after export %d, %lld after export %d: %s\n", last[i].name.c_str(),
                    static_cast<long long>(settled[i].value), kWarmUpExports, static_cast<long long>(last[i].value),
                    exports, over);
        grew = true;
    }
    std::fflush(stdout);
    return grew;
}

}  // namespace

void after_export(const HostOptions& options, std::int32_t run, ResourceSamples& samples) {
    if (options.leak_for_test) {
        // Deliberately never released: one handle or descriptor, and
        // memory that is written so that it is really committed.
        static_cast<void>(new std::ifstream(options.output, std::ios::binary));
        std::memset(new char[1 << 20], 1, 1 << 20);
    }
    if (!options.report_resources) return;
    const std::vector<ProcessCounter> counters = sample_process_counters();
    std::printf("resources after export %d:", run);
    for (const ProcessCounter& c : counters) std::printf(" %s=%lld", c.name.c_str(), static_cast<long long>(c.value));
    std::printf("\n");
    if (run == kWarmUpExports) samples.settled = counters;
    samples.last = counters;
}

int exit_status(const HostOptions& options, const ResourceSamples& samples, bool all_ok) {
    const bool grew = options.report_resources && options.repeat > kWarmUpExports &&
                      report_growth(samples.settled, samples.last, options.repeat, options.memory_tolerance);
    // A line to match: under Wine a test cannot always rely on the exit status.
    if (options.fail_on_growth && all_ok && !grew)
        print(stdout, "no growth over " + std::to_string(options.repeat) + " exports\n");
    if (options.fail_on_growth && grew) return 3;
    return all_ok ? 0 : 1;
}

}  // namespace vorlane::host
