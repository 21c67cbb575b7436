#pragma once
#include <cstddef>
#include <cstdint>

namespace vorlane {

// Where the APNG writer's bytes go: the output file in a run, a checking
// buffer in tests. Each call says whether every byte reached its place: a
// full disk or a lost network share must fail the export, not pass as one.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Appends at the current end.
    [[nodiscard]] virtual bool write(const std::uint8_t* data, std::size_t size) = 0;
    // Overwrites bytes already written at `offset`, then goes on at the end.
    [[nodiscard]] virtual bool overwrite(std::uint64_t offset, const std::uint8_t* data, std::size_t size) = 0;
};

}  // namespace vorlane
