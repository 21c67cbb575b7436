#include <windows.h>
// psapi.h needs windows.h first.
#include <psapi.h>

#include "process_stats.h"

namespace vorlane::host {
namespace {

// Wine 8 answers GetProcessHandleCount with 0, so the handles are also
// counted one by one: a value that GetHandleInformation accepts is open.
// Handle values are multiples of 4 and small in a process like this one.
std::int64_t handles_found() {
    std::int64_t found = 0;
    for (ULONG_PTR value = 4; value < 65536; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++found;
    }
    return found;
}

// Bytes in use in every heap of the process: exact, unlike the page-grained
// private bytes, so a few leaked blocks per frame show too.
std::int64_t heap_bytes_in_use() {
    HANDLE heaps[256];
    const DWORD count = GetProcessHeaps(256, heaps);
    std::int64_t busy = 0;
    for (DWORD i = 0; i < count && i < 256; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) busy += std::int64_t(entry.cbData);
        HeapUnlock(heaps[i]);
    }
    return busy;
}

}  // namespace

std::vector<ProcessCounter> sample_process_counters() {
    const HANDLE self = GetCurrentProcess();
    DWORD handles = 0;
    GetProcessHandleCount(self, &handles);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(self, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    // Wine leaves PrivateUsage at 0 but fills PagefileUsage, which Windows
    // documents as the same figure.
    const SIZE_T private_bytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
    // GetGuiResources is a stub in Wine 8 and reads 0 there.
    return {{"gdi_objects", std::int64_t(GetGuiResources(self, GR_GDIOBJECTS)), true},
            {"user_objects", std::int64_t(GetGuiResources(self, GR_USEROBJECTS)), true},
            {"process_handles", std::int64_t(handles), true},
            {"handles_found", handles_found(), true},
            {"private_bytes", std::int64_t(private_bytes), false},
            {"heap_bytes_in_use", heap_bytes_in_use(), false}};
}

}  // namespace vorlane::host
