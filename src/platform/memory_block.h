#pragma once
// Seam: the platform's memory blocks (GlobalAlloc/GlobalFree on Windows), for
// converted pixels and PNG streams, held by one owner at a time.
#include <cstddef>
#include <cstdint>
#include <utility>

namespace vorlane {

namespace platform {
void* allocate_block(std::size_t size, bool zeroed) noexcept;  // null on failure
void release_block(void* block) noexcept;
}  // namespace platform

class MemoryBlock {
public:
    MemoryBlock() = default;
    // An empty block when the platform refuses.
    static MemoryBlock allocate(std::size_t size, bool zeroed) {
        MemoryBlock block;
        block.data_ = static_cast<std::uint8_t*>(platform::allocate_block(size, zeroed));
        if (block.data_) block.size_ = size;
        return block;
    }
    MemoryBlock(MemoryBlock&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    MemoryBlock& operator=(MemoryBlock&& other) noexcept {
        if (this != &other) {
            reset();
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
        }
        return *this;
    }
    MemoryBlock(const MemoryBlock&) = delete;
    MemoryBlock& operator=(const MemoryBlock&) = delete;
    ~MemoryBlock() { reset(); }

    void reset() noexcept {
        if (data_) platform::release_block(data_);
        data_ = nullptr;
        size_ = 0;
    }
    std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace vorlane
