#include "platform/output_file.h"
#include "platform/posix/write_all.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <string>

namespace vorlane {

namespace posix {

std::string utf8_from_utf16(const char16_t* path) {
    std::string out;
    for (std::size_t i = 0; path[i] != 0; ++i) {
        std::uint32_t c = path[i];
        if (c >= 0xD800 && c <= 0xDBFF && path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (path[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

bool write_all(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        // A full disk shows as ENOSPC or EFBIG, or as a write that takes nothing.
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace posix

std::unique_ptr<OutputFile> OutputFile::create(const char16_t* path, Access access) noexcept {
    if (!path || path[0] == 0) return nullptr;
    try {
        const int mode = access == Access::ReadWrite ? O_RDWR : O_WRONLY;
        const int fd = ::open(posix::utf8_from_utf16(path).c_str(), mode | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return nullptr;
        return std::unique_ptr<OutputFile>(new OutputFile(fd));
    } catch (...) {
        return nullptr;
    }
}

OutputFile::~OutputFile() {
    static_cast<void>(close());
}

bool OutputFile::write(const std::uint8_t* data, std::size_t size) {
    return handle_ != kClosed && posix::write_all(static_cast<int>(handle_), data, size);
}

bool OutputFile::overwrite(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
    if (handle_ == kClosed) return false;
    const int fd = static_cast<int>(handle_);
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    if (end < 0 || ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
    // Back to the end even after a failed write, so later appends land there.
    const bool written = posix::write_all(fd, data, size);
    return ::lseek(fd, end, SEEK_SET) == end && written;
}

bool OutputFile::close() noexcept {
    if (handle_ == kClosed) return false;
    // Not retried on EINTR: the descriptor is released either way.
    const bool closed = ::close(static_cast<int>(handle_)) == 0;
    handle_ = kClosed;
    return closed;
}

}  // namespace vorlane
