#pragma once
// What the files the stand-ins write share.
#include <cstddef>
#include <cstdint>
#include <string>

namespace vorlane::posix {

// All of `size` bytes, in as many write calls as it takes; false when a call
// fails or takes nothing.
bool write_all(int fd, const std::uint8_t* data, std::size_t size);

// The host's paths are UTF-16; POSIX wants bytes. A lone surrogate becomes
// U+FFFD rather than failing the run.
std::string utf8_from_utf16(const char16_t* path);

}  // namespace vorlane::posix
