#include "guarded_block.h"

namespace vorlane::host {

// Exactly the size: AddressSanitizer reports the first byte past it.
GuardedBlock::GuardedBlock(std::size_t size) : base_(new std::uint8_t[size]) {
    data_ = static_cast<std::uint8_t*>(base_);
}

GuardedBlock::~GuardedBlock() {
    delete[] static_cast<std::uint8_t*>(base_);
}

}  // namespace vorlane::host
