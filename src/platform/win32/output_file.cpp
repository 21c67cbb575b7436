#include <windows.h>

#include "platform/output_file.h"
#include "platform/win32/write_all.h"

namespace vorlane {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 paths go to CreateFileW as they are");

HANDLE as_handle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

namespace win32 {

bool write_all(HANDLE file, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        // WriteFile takes at most a DWORD per call.
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        // A full disk fails the call (ERROR_DISK_FULL) or takes nothing.
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0 || written > chunk) return false;
        data += written;
        size -= written;
    }
    return true;
}

}  // namespace win32

std::unique_ptr<OutputFile> OutputFile::create(const char16_t* path, Access access) noexcept {
    if (!path || path[0] == 0) return nullptr;
    const DWORD rights = access == Access::ReadWrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
    const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path), rights, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    // The handle is closed by the object from here on; new only throws on
    // exhaustion, and then the file must not stay open.
    try {
        return std::unique_ptr<OutputFile>(new OutputFile(reinterpret_cast<std::intptr_t>(file)));
    } catch (...) {
        CloseHandle(file);
        return nullptr;
    }
}

OutputFile::~OutputFile() {
    static_cast<void>(close());
}

bool OutputFile::write(const std::uint8_t* data, std::size_t size) {
    return handle_ != kClosed && win32::write_all(as_handle(handle_), data, size);
}

bool OutputFile::overwrite(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
    if (handle_ == kClosed) return false;
    const HANDLE file = as_handle(handle_);
    LARGE_INTEGER zero{};
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(file, zero, &end, FILE_CURRENT)) return false;
    LARGE_INTEGER target{};
    target.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, target, nullptr, FILE_BEGIN)) return false;
    // Back to the end even after a failed write, so later appends land there.
    const bool written = win32::write_all(file, data, size);
    return SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && written;
}

bool OutputFile::close() noexcept {
    if (handle_ == kClosed) return false;
    // A share may report a write it delayed and lost only here. The handle
    // is released either way.
    const bool closed = CloseHandle(as_handle(handle_)) != FALSE;
    handle_ = kClosed;
    return closed;
}

}  // namespace vorlane
