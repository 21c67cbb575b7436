// The portable stand-ins' platform calls (libc for files and blocks, libpng
// for the encoder) reach the wrappers below through the linker's --wrap,
// which redirects only the references in this program's own objects: the
// plugin's core and stand-ins linked in, not libc's or libpng's internals.
// The export runs in this process, through the same job the module runs.
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "file_checks.h"
#include "host/output_job.h"
#include "platform_faults.h"

namespace vorlane::robust::faults {
namespace {

using plan::fails;

// What the export acquired and has not released yet.
struct Resources {
    std::map<int, Target> descriptors;  // by what they were opened for
    std::set<void*> blocks;
    int png_structs = 0;
    bool recording = false;
};
Resources held;

Target target_of_path(const char* path) {
    if (plan::is_output_path(path)) return Target::OutputFile;
    if (std::string(path).find("C:/temp") != std::string::npos) return Target::DiagnosticCopy;
    return Target::Other;
}

Target target_of(int fd) {
    const auto it = held.descriptors.find(fd);
    return it == held.descriptors.end() ? Target::Other : it->second;
}

std::filesystem::path previous_directory;

}  // namespace
}  // namespace vorlane::robust::faults

using vorlane::robust::faults::fails;
using vorlane::robust::faults::held;
using vorlane::robust::faults::Target;
using vorlane::robust::faults::target_of;
using vorlane::robust::faults::target_of_path;

extern "C" {
int __real_open(const char* path, int flags, ...);
ssize_t __real_write(int fd, const void* data, size_t size);
off_t __real_lseek(int fd, off_t offset, int whence);
int __real_close(int fd);
int __real_rename(const char* from, const char* to);
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void __real_free(void* block);
png_structp __real_png_create_write_struct(png_const_charp version, png_voidp error_ptr, png_error_ptr error_fn,
                                           png_error_ptr warn_fn);
png_infop __real_png_create_info_struct(png_const_structrp png);
void __real_png_destroy_write_struct(png_structpp png, png_infopp info);

int __wrap_open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & O_CREAT) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, int));
        va_end(args);
    }
    const Target target = target_of_path(path);
    if (fails("open", target)) {
        errno = EACCES;
        return -1;
    }
    const int fd = __real_open(path, flags, mode);
    if (fd >= 0 && held.recording) held.descriptors[fd] = target;
    return fd;
}

ssize_t __wrap_write(int fd, const void* data, size_t size) {
    if (fails("write", target_of(fd))) {
        errno = ENOSPC;
        return -1;
    }
    if (vorlane::robust::faults::plan::takes_nothing("write, taking nothing", fd, target_of(fd))) return 0;
    return __real_write(fd, data, size);
}

off_t __wrap_lseek(int fd, off_t offset, int whence) {
    if (fails("lseek", target_of(fd))) {
        errno = EIO;
        return -1;
    }
    return __real_lseek(fd, offset, whence);
}

// A failed close still releases the descriptor, as on Linux.
int __wrap_close(int fd) {
    const bool fail = fails("close", target_of(fd));
    const int result = __real_close(fd);
    held.descriptors.erase(fd);
    vorlane::robust::faults::plan::closed(fd);
    if (!fail) return result;
    errno = EIO;
    return -1;
}

int __wrap_rename(const char* from, const char* to) {
    if (fails("rename", target_of_path(to))) {
        errno = EACCES;
        return -1;
    }
    return __real_rename(from, to);
}

void* __wrap_malloc(size_t size) {
    if (fails("malloc", Target::Other)) {
        errno = ENOMEM;
        return nullptr;
    }
    void* block = __real_malloc(size);
    if (block && held.recording) held.blocks.insert(block);
    return block;
}

void* __wrap_calloc(size_t count, size_t size) {
    if (fails("calloc", Target::Other)) {
        errno = ENOMEM;
        return nullptr;
    }
    void* block = __real_calloc(count, size);
    if (block && held.recording) held.blocks.insert(block);
    return block;
}

void __wrap_free(void* block) {
    held.blocks.erase(block);
    __real_free(block);
}

png_structp __wrap_png_create_write_struct(png_const_charp version, png_voidp error_ptr, png_error_ptr error_fn,
                                           png_error_ptr warn_fn) {
    if (fails("png_create_write_struct", Target::Other)) return nullptr;
    png_structp png = __real_png_create_write_struct(version, error_ptr, error_fn, warn_fn);
    if (png && held.recording) ++held.png_structs;
    return png;
}

png_infop __wrap_png_create_info_struct(png_const_structrp png) {
    if (fails("png_create_info_struct", Target::Other)) return nullptr;
    return __real_png_create_info_struct(png);
}

void __wrap_png_destroy_write_struct(png_structpp png, png_infopp info) {
    if (png && *png && held.recording) --held.png_structs;
    __real_png_destroy_write_struct(png, info);
}
}

namespace vorlane::robust::faults {

std::string install() {
    // The stand-ins write the diagnostic copies to the relative path
    // "C:/temp/...": a folder of that name in the working folder receives them.
    std::error_code error;
    previous_directory = std::filesystem::current_path(error);
    const auto folder = scratch_dir("fault-sweep-cwd");
    std::filesystem::create_directories(folder / "C:" / "temp", error);
    if (error) return "cannot make " + folder.string() + ": " + error.message();
    std::filesystem::current_path(folder, error);
    return error ? error.message() : "";
}

void uninstall() {
    std::error_code error;
    const auto folder = std::filesystem::current_path(error);
    std::filesystem::current_path(previous_directory, error);
    std::filesystem::remove_all(folder, error);
}

const std::vector<Function>& functions() {
    static const std::vector<Function> list = {
        {"open", "-1, `EACCES`"},
        {"write", "-1, `ENOSPC` (disk full)"},
        {"write, taking nothing", "0, and so on for that descriptor"},
        {"lseek", "-1, `EIO`"},
        {"close", "-1, `EIO` (descriptor released)"},
        {"rename", "-1, `EACCES`"},
        {"calloc", "null, `ENOMEM`"},
        {"malloc", "null, `ENOMEM`"},
        {"png_create_write_struct", "null"},
        {"png_create_info_struct", "null"},
    };
    return list;
}

Outcome run_export(const host::HostScript& script, host::HostLog& log, const std::string& function, int call) {
    held = Resources{};
    held.recording = true;
    Outcome outcome = plan::run(script, log, function, call, [](OutputRequest* request) { return OutputJob::run(*request); });
    held.recording = false;
    for (const auto& [fd, target] : held.descriptors) outcome.unreleased.push_back("descriptor " + std::to_string(fd));
    if (!held.blocks.empty()) outcome.unreleased.push_back(std::to_string(held.blocks.size()) + " blocks");
    if (held.png_structs != 0) outcome.unreleased.push_back(std::to_string(held.png_structs) + " encoder states");
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("C:/temp", error))
        if (entry.path().extension() == ".tmp") outcome.unreleased.push_back("temporary copy " + entry.path().string());
    return outcome;
}

}  // namespace vorlane::robust::faults
