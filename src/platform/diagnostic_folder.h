#pragma once
// Seam: the folder "C:/temp" in which every frame leaves two PNG copies for
// whoever debugs an export. On a shared Windows PC any user may make, empty
// and remove that folder, so it is used only while it is a plain folder (no
// link or junction to elsewhere), held so that it cannot be swapped, and a
// copy never goes through a name that stood there before: it is made under a
// new name of this process's own and then moved over the copy's name, which
// replaces a link planted there instead of writing through it. Whatever goes
// wrong costs that copy, nothing more: no error is reported, and no
// temporary file is left behind.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vorlane {

class DiagnosticFolder {
public:
    // Null where the folder is missing or is not a plain folder.
    static std::unique_ptr<DiagnosticFolder> open() noexcept;

    ~DiagnosticFolder();
    DiagnosticFolder(const DiagnosticFolder&) = delete;
    DiagnosticFolder& operator=(const DiagnosticFolder&) = delete;

    // The copy `name` ("at007.png") holding exactly these bytes.
    void write_copy(const std::string& name, const std::uint8_t* data, std::size_t size) noexcept;

    // The copy `name`, written by `save` into the new, empty file whose path
    // (UTF-16, NUL-terminated) it is given; false from `save` drops the copy.
    using Saver = bool (*)(const char16_t* path, void* context);
    void save_copy(const std::string& name, Saver save, void* context) noexcept;

private:
    explicit DiagnosticFolder(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;  // the folder, open: HANDLE or file descriptor
};

}  // namespace vorlane
