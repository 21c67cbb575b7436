#include <cstdlib>

#include "platform/memory_block.h"

namespace vorlane::platform {

void* allocate_block(std::size_t size, bool zeroed) noexcept {
    if (size == 0) return nullptr;
    return zeroed ? std::calloc(size, 1) : std::malloc(size);
}

void release_block(void* block) noexcept {
    std::free(block);
}

}  // namespace vorlane::platform
