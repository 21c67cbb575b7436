#include <windows.h>

#include <new>

#include "guarded_block.h"

namespace vorlane::host {

// The block is placed flush against a PAGE_NOACCESS page, so the first byte
// past it is the first byte of that page.
GuardedBlock::GuardedBlock(std::size_t size) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const std::size_t page = info.dwPageSize;
    const std::size_t usable = (size + page - 1) / page * page;
    base_ = VirtualAlloc(nullptr, usable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!base_) throw std::bad_alloc();
    auto* bytes = static_cast<std::uint8_t*>(base_);
    DWORD previous = 0;
    if (!VirtualProtect(bytes + usable, page, PAGE_NOACCESS, &previous)) {
        VirtualFree(base_, 0, MEM_RELEASE);
        throw std::bad_alloc();
    }
    data_ = bytes + usable - size;
}

GuardedBlock::~GuardedBlock() {
    VirtualFree(base_, 0, MEM_RELEASE);
}

}  // namespace vorlane::host
