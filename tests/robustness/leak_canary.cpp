// Leaks one memory block on purpose. Its test passes only when the sanitizer
// build reports the leak, proving that leaks in the other tests would fail
// them rather than pass unseen.
#include <cstdio>

#include "platform/memory_block.h"

int main() {
    void* lost = vorlane::platform::allocate_block(88, false);
    std::printf("leaking a block at %p\n", lost);
    lost = nullptr;
    return lost != nullptr;
}
