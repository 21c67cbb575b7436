// The diagnostic copies on Windows. Any signed-in user may create C:\temp,
// and one that exists lets every user delete what is in it, so another user
// can make it a junction, or plant links under the copies' names, and have
// our copies overwrite whatever those point at, with our rights. Hence: the
// folder is opened without delete sharing, so that it cannot be renamed or
// removed while we use it, and only while it is a plain folder; each copy is
// created new under a name of this process's own, with a security
// descriptor that lets no other user delete or replace it, and moved over
// the copy's name; the move replaces a link standing there and never
// follows it.
#include <windows.h>
#include <sddl.h>

#include <atomic>
#include <string>
#include <utility>

#include "platform/diagnostic_folder.h"
#include "platform/win32/write_all.h"

namespace vorlane {
namespace {

constexpr wchar_t kFolder[] = L"C:/temp";

// Temporary names differ between the frames of an export and between exports.
std::atomic<std::uint32_t> g_copies_made{0};

HANDLE as_handle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

bool is_plain_folder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// Windows shows a junction or link on the open handle and by name; Wine
// shows one only by name. Both must see a plain folder.
bool is_plain_folder(HANDLE folder) {
    FILE_ATTRIBUTE_TAG_INFO info{};
    return GetFileInformationByHandleEx(folder, FileAttributeTagInfo, &info, sizeof info) &&
           is_plain_folder(info.FileAttributes) && info.ReparseTag == 0 && is_plain_folder(GetFileAttributesW(kFolder));
}

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (*this) CloseHandle(handle_);
    }
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }
    // The handle is gone afterwards whatever the result.
    bool close() {
        const bool closed = CloseHandle(handle_) != FALSE;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }
    // Deletes the file through this handle, wherever it lies, and closes it.
    void discard() {
        FILE_DISPOSITION_INFO dispose{};
        dispose.DeleteFile = TRUE;
        SetFileInformationByHandle(handle_, FileDispositionInfo, &dispose, sizeof dispose);
        close();
    }

private:
    HANDLE handle_;
};

// The SID of the user this thread acts for, as SDDL text; empty on failure.
std::wstring user_sid() {
    alignas(TOKEN_USER) unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    // A pseudo-handle: nothing to open or close.
    if (!GetTokenInformation(GetCurrentThreadEffectiveToken(), TokenUser, buffer, sizeof buffer, &size)) return {};
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) return {};
    std::wstring sid = text;
    LocalFree(text);
    return sid;
}

// What a copy is created with: this user may do anything with it, every
// other signed-in user may only read it. Protected, so that nothing the
// folder hands down lets anyone else delete or replace it.
class CopySecurity {
public:
    CopySecurity() {
        const std::wstring sid = user_sid();
        if (sid.empty()) return;
        const std::wstring sddl = L"D:P(A;;FA;;;" + sid + L")(A;;FR;;;AU)";
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor_,
                                                                 nullptr))
            attributes_.lpSecurityDescriptor = descriptor_;
    }
    CopySecurity(const CopySecurity&) = delete;
    CopySecurity& operator=(const CopySecurity&) = delete;
    ~CopySecurity() {
        if (descriptor_) LocalFree(descriptor_);
    }
    // Null when the descriptor could not be made: then no copy is made either.
    SECURITY_ATTRIBUTES* attributes() { return descriptor_ ? &attributes_ : nullptr; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

std::wstring in_folder(const std::string& name) {
    std::wstring path = kFolder;
    path += L'/';
    for (const char c : name) path += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return path;
}

// A name beside the copy's that no one else has reason to use.
std::wstring temporary_path(const std::string& name) {
    return in_folder(name) + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(g_copies_made.fetch_add(1) + 1) + L".tmp";
}

// A new file at `path`, open for writing; none where that name is taken.
// Once it holds a file of ours the folder can no longer be made a junction
// (only an empty one can), so a check now holds until the frame is done; one
// that fails means the folder changed since it was opened, and the file,
// which may have landed anywhere, goes again by its handle.
Handle create_new(HANDLE folder, const std::wstring& path) {
    CopySecurity security;
    if (!security.attributes()) return Handle(INVALID_HANDLE_VALUE);
    Handle file(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, security.attributes(), CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file && !is_plain_folder(folder)) file.discard();
    return file;
}

// Moves the finished file over the copy's name, replacing a file or link
// that stands there; never a copy between drives, which would write through
// the name. A file that cannot be moved is deleted.
void move_into_place(const std::wstring& from, const std::wstring& to, bool finished) {
    if (!finished || !MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) DeleteFileW(from.c_str());
}

}  // namespace

std::unique_ptr<DiagnosticFolder> DiagnosticFolder::open() noexcept {
    // The folder itself, not what a link would lead to; without delete
    // sharing nobody can rename or remove it while the handle is open.
    const HANDLE folder = CreateFileW(kFolder, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return nullptr;
    if (!is_plain_folder(folder)) {
        CloseHandle(folder);
        return nullptr;
    }
    try {
        return std::unique_ptr<DiagnosticFolder>(new DiagnosticFolder(reinterpret_cast<std::intptr_t>(folder)));
    } catch (...) {
        CloseHandle(folder);
        return nullptr;
    }
}

DiagnosticFolder::~DiagnosticFolder() {
    CloseHandle(as_handle(handle_));
}

void DiagnosticFolder::write_copy(const std::string& name, const std::uint8_t* data, std::size_t size) noexcept {
    try {
        const std::wstring target = in_folder(name);
        const std::wstring path = temporary_path(name);
        Handle file = create_new(as_handle(handle_), path);
        if (!file) return;
        const bool written = win32::write_all(file.get(), data, size);
        move_into_place(path, target, file.close() && written);
    } catch (...) {
        // Out of memory before any file was made: no copy.
    }
}

void DiagnosticFolder::save_copy(const std::string& name, Saver save, void* context) noexcept {
    try {
        const std::wstring target = in_folder(name);
        const std::wstring path = temporary_path(name);
        Handle file = create_new(as_handle(handle_), path);
        if (!file) return;
        // The saver opens the file by its name, which nobody else may
        // delete or replace in the meantime.
        const bool made = file.close();
        move_into_place(path, target, made && save(reinterpret_cast<const char16_t*>(path.c_str()), context));
    } catch (...) {
        // Out of memory before any file was made: no copy.
    }
}

}  // namespace vorlane
