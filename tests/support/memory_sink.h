#pragma once
// The APNG writer's output kept in memory. An overwrite may only correct
// bytes already written: one reaching past them is refused and noted.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "apng/byte_sink.h"

namespace vorlane::test {

class MemorySink final : public ByteSink {
public:
    bool write(const std::uint8_t* data, std::size_t size) override {
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
    bool overwrite(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override {
        if (offset > bytes.size() || size > bytes.size() - offset) {
            error = "overwrite past the written bytes at " + std::to_string(offset);
            return false;
        }
        std::memcpy(bytes.data() + offset, data, size);
        return true;
    }

    std::vector<std::uint8_t> bytes;
    std::string error;
};

}  // namespace vorlane::test
