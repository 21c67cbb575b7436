#pragma once
// Seam: memory that a reader may not run past, for the host stand-in's
// record and frames. The POSIX build leaves that to AddressSanitizer with a
// heap block of exactly the size; the Windows build runs without it, so the
// block ends where an inaccessible page begins and any read past the last
// byte faults.
#include <cstddef>
#include <cstdint>

namespace vorlane::host {

class GuardedBlock {
public:
    explicit GuardedBlock(std::size_t size);  // throws std::bad_alloc
    ~GuardedBlock();
    GuardedBlock(const GuardedBlock&) = delete;
    GuardedBlock& operator=(const GuardedBlock&) = delete;

    std::uint8_t* data() const { return data_; }

private:
    void* base_ = nullptr;
    std::uint8_t* data_ = nullptr;
};

}  // namespace vorlane::host
