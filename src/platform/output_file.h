#pragma once
// Seam: a file created (or replaced) at a UTF-16 path, written front to back,
// with earlier bytes overwritable. CreateFileW/WriteFile/CloseHandle on
// Windows, POSIX calls elsewhere. Every call reports whether it worked: a
// write that fails or comes up short, and a close that reports a write the
// system delayed and then lost, are failures.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "apng/byte_sink.h"

namespace vorlane {

class OutputFile final : public ByteSink {
public:
    enum class Access { ReadWrite, WriteOnly };

    // Null when the file cannot be created.
    static std::unique_ptr<OutputFile> create(const char16_t* path, Access access) noexcept;

    ~OutputFile() override;  // closes, if close() was not called
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    [[nodiscard]] bool write(const std::uint8_t* data, std::size_t size) override;
    [[nodiscard]] bool overwrite(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
    // The handle is gone afterwards whatever the result.
    [[nodiscard]] bool close() noexcept;

private:
    explicit OutputFile(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;  // HANDLE or file descriptor; kClosed once closed
    static constexpr std::intptr_t kClosed = -1;
};

}  // namespace vorlane
