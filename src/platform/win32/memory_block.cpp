#include <windows.h>

#include "platform/memory_block.h"

namespace vorlane::platform {

// GMEM_FIXED: the handle is the address, so the block needs no locking.
void* allocate_block(std::size_t size, bool zeroed) noexcept {
    if (size == 0) return nullptr;
    return GlobalAlloc(zeroed ? GMEM_FIXED | GMEM_ZEROINIT : GMEM_FIXED, size);
}

void release_block(void* block) noexcept {
    GlobalFree(block);
}

}  // namespace vorlane::platform
