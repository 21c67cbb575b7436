#pragma once
#include <cstddef>
#include <cstdint>

namespace vorlane {

// Where the APNG writer's bytes go: the output file in a run, a checking
// buffer in tests. Results are not reported: a short write does not change
// the run's outcome.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Appends at the current end.
    virtual void write(const std::uint8_t* data, std::size_t size) = 0;
    // Overwrites bytes already written at `offset`, then goes on at the end.
    virtual void overwrite(std::uint64_t offset, const std::uint8_t* data, std::size_t size) = 0;
};

}  // namespace vorlane
