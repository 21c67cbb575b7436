#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "process_stats.h"

namespace vorlane::host {

std::vector<ProcessCounter> sample_process_counters() {
    std::int64_t descriptors = 0;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++descriptors;
    // The iterator's own descriptor is counted too; it is there in every sample.

    std::int64_t resident_pages = 0, total_pages = 0;
    std::ifstream("/proc/self/statm") >> total_pages >> resident_pages;

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return {{"open_descriptors", descriptors, true},
            {"resident_bytes", resident_pages * sysconf(_SC_PAGESIZE), false},
            {"peak_resident_bytes", std::int64_t(usage.ru_maxrss) * 1024, false}};
}

}  // namespace vorlane::host
