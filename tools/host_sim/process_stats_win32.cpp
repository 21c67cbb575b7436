#include <windows.h>
// psapi.h needs windows.h first.
#include <psapi.h>

#include "process_stats.h"

namespace vorlane::host {

std::vector<ProcessCounter> sample_process_counters() {
    const HANDLE self = GetCurrentProcess();
    DWORD handles = 0;
    GetProcessHandleCount(self, &handles);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(self, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    return {{"gdi_objects", std::int64_t(GetGuiResources(self, GR_GDIOBJECTS)), true},
            {"user_objects", std::int64_t(GetGuiResources(self, GR_USEROBJECTS)), true},
            {"process_handles", std::int64_t(handles), true},
            {"private_bytes", std::int64_t(memory.PrivateUsage), false}};
}

}  // namespace vorlane::host
