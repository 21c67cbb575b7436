// The diagnostic copies of the portable stand-ins, in the relative folder
// "C:/temp", kept to the rules of the Windows ones: the folder is used only
// when it is a real folder, not a symbolic link; each copy is created new
// (O_EXCL, never through a link) and renamed over the copy's name, which
// replaces a link standing there rather than following it.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/diagnostic_folder.h"
#include "platform/posix/write_all.h"

namespace vorlane {
namespace {

constexpr char kFolder[] = "C:/temp";

std::atomic<std::uint32_t> g_copies_made{0};

std::string temporary_path(const std::string& target) {
    return target + "." + std::to_string(::getpid()) + "-" + std::to_string(g_copies_made.fetch_add(1) + 1) + ".tmp";
}

// Readable by all, as a file in a shared folder on Windows is; written by us alone.
int create_new(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
}

void move_into_place(const std::string& from, const std::string& to, bool finished) {
    if (!finished || std::rename(from.c_str(), to.c_str()) != 0) ::unlink(from.c_str());
}

}  // namespace

std::unique_ptr<DiagnosticFolder> DiagnosticFolder::open() noexcept {
    const int folder = ::open(kFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) return nullptr;
    try {
        return std::unique_ptr<DiagnosticFolder>(new DiagnosticFolder(folder));
    } catch (...) {
        ::close(folder);
        return nullptr;
    }
}

DiagnosticFolder::~DiagnosticFolder() {
    ::close(static_cast<int>(handle_));
}

void DiagnosticFolder::write_copy(const std::string& name, const std::uint8_t* data, std::size_t size) noexcept {
    try {
        const std::string target = std::string(kFolder) + "/" + name;
        const std::string path = temporary_path(target);
        const int file = create_new(path);
        if (file < 0) return;
        const bool written = posix::write_all(file, data, size);
        move_into_place(path, target, ::close(file) == 0 && written);
    } catch (...) {
        // Out of memory before any file was made: no copy.
    }
}

void DiagnosticFolder::save_copy(const std::string& name, Saver save, void* context) noexcept {
    try {
        const std::string target = std::string(kFolder) + "/" + name;
        const std::string path = temporary_path(target);
        const std::u16string path16(path.begin(), path.end());  // ASCII
        const int file = create_new(path);
        if (file < 0) return;
        const bool made = ::close(file) == 0;
        move_into_place(path, target, made && save(path16.c_str(), context));
    } catch (...) {
        // Out of memory before any file was made: no copy.
    }
}

}  // namespace vorlane
