#pragma once
// What the files the module writes share on Windows.
#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace vorlane::win32 {

// All of `size` bytes, in as many WriteFile calls as it takes; false when a
// call fails or takes nothing.
bool write_all(HANDLE file, const std::uint8_t* data, std::size_t size);

}  // namespace vorlane::win32
