#include "test_support.h"

#include <windows.h>
#include <sddl.h>
#include <winioctl.h>

#include <cmath>

#include <gtest/gtest.h>

#include "console.h"
#include "wine_test_support.h"

namespace vorlane::test {
namespace {

std::wstring temporary_folder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    return std::wstring(buffer, GetTempPathW(MAX_PATH + 1, buffer));
}

struct WorkFolder {
    std::filesystem::path path;
    bool made = false;
};
WorkFolder g_work;

// vorlane-<program>-<process id>: programs run side by side never share one.
const std::filesystem::path& work_folder() {
    if (g_work.path.empty())
        g_work.path = temporary_folder() + L"vorlane-" + host::running_program().stem().wstring() +
                      L"-" + std::to_wstring(GetCurrentProcessId());
    if (!g_work.made) {
        std::error_code ec;
        std::filesystem::create_directories(g_work.path, ec);
        g_work.made = !ec;
    }
    return g_work.path;
}

}  // namespace

std::filesystem::path beside_program(const char* name) {
    return host::running_program().parent_path() / name;
}

std::filesystem::path module_path() {
    return beside_program("vorlane.dll");
}

std::unique_ptr<host::PluginModule> load_module() {
    std::string error;
    auto module = host::PluginModule::load(module_path(), error);
    if (!module) ADD_FAILURE() << "cannot load the module: " << error;
    return module;
}

std::string WorkFile::text() const {
    return host::utf8(path);
}

WorkFile work_file(const std::string& name) {
    return {work_folder() / name};
}

void remove_work_folder() {
    if (!g_work.made) return;
    std::error_code ec;
    std::filesystem::remove_all(g_work.path, ec);
    g_work.made = false;
}

bool file_exists(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

DecodedApng decode(const std::filesystem::path& path) {
    DecodedApng decoded = decode_apng(read_file(path));
    if (!wine::has_linux_tools()) return decoded;
    std::string error;
    const auto pillow = wine::decode_with_pillow(path, error);
    if (!pillow) {
        ADD_FAILURE() << "Pillow cannot decode " << host::utf8(path) << ": " << error;
        return decoded;
    }
    if (!decoded.error.empty()) return decoded;  // the caller's own check fails
    EXPECT_EQ(pillow->size(), decoded.frames.size()) << "frames, by Pillow and by the tests' decoder";
    for (std::size_t i = 0; i < pillow->size() && i < decoded.frames.size(); ++i) {
        const wine::PillowFrame& theirs = (*pillow)[i];
        const DecodedFrame& ours = decoded.frames[i];
        EXPECT_TRUE(theirs.width == ours.width && theirs.height == ours.height && theirs.rgba == ours.rgba &&
                    std::abs(theirs.duration_ms - ours.duration_ms()) < 1e-6)
            << "Pillow and the tests' decoder differ on frame " << i << " of " << host::utf8(path);
    }
    return decoded;
}

bool png_is_sound(const std::filesystem::path& path, std::string* output) {
    const DecodedApng decoded = decode_apng(read_file(path));
    if (!decoded.error.empty()) {
        if (output) *output = decoded.error;
        return false;
    }
    return !wine::has_linux_tools() || wine::check_with_pngcheck(path, output);
}

std::u16string config_text(const OutputPluginTable& table) {
    return table.on_config_text();
}

const std::filesystem::path kDiagnosticFolder = L"C:\\temp";

bool make_diagnostic_folder() {
    alignas(TOKEN_USER) unsigned char user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    wchar_t* sid = nullptr;
    if (!GetTokenInformation(GetCurrentThreadEffectiveToken(), TokenUser, user, sizeof user, &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid))
        return false;
    // This user alone, for the folder and everything made in it.
    const std::wstring sddl = L"D:P(A;OICI;FA;;;" + std::wstring(sid) + L")";
    LocalFree(sid);
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &security.lpSecurityDescriptor, nullptr))
        return false;
    const bool made = CreateDirectoryW(kDiagnosticFolder.c_str(), &security) != FALSE;
    LocalFree(security.lpSecurityDescriptor);
    return made;
}

void remove_diagnostic_folder(int frames) {
    for (int i = 0; i < frames; ++i)
        for (const wchar_t* prefix : {L"as", L"at"}) {
            wchar_t name[32];
            std::swprintf(name, 32, L"%ls%03d.png", prefix, i);
            DeleteFileW((kDiagnosticFolder / name).c_str());
        }
    RemoveDirectoryW(kDiagnosticFolder.c_str());
}

namespace {

// FSCTL_SET_REPARSE_POINT's input for a junction, as the file system reads it.
struct MountPoint {
    DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    WORD data_length = 0;
    WORD reserved = 0;
    WORD substitute_offset = 0;
    WORD substitute_length = 0;
    WORD print_offset = 0;
    WORD print_length = 0;
    wchar_t names[MAX_PATH * 2] = {};
};

bool is_link(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Junctions need no privilege, unlike symbolic links to folders.
bool make_junction(const std::filesystem::path& link, const std::filesystem::path& target) {
    const std::wstring substitute = L"\\??\\" + std::filesystem::absolute(target).wstring();
    MountPoint point;
    if (substitute.size() + 2 > std::size(point.names) || !CreateDirectoryW(link.c_str(), nullptr)) return false;
    substitute.copy(point.names, substitute.size());
    point.substitute_length = WORD(substitute.size() * sizeof(wchar_t));
    point.print_offset = WORD(point.substitute_length + sizeof(wchar_t));
    point.data_length = WORD(8 + point.print_offset + sizeof(wchar_t));
    const HANDLE folder = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    DWORD returned = 0;
    const bool set = folder != INVALID_HANDLE_VALUE &&
                     DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, &point, 8 + point.data_length, nullptr, 0,
                                     &returned, nullptr);
    if (folder != INVALID_HANDLE_VALUE) CloseHandle(folder);
    if (!set) RemoveDirectoryW(link.c_str());
    return set;
}

}  // namespace

bool make_link(const std::filesystem::path& link, const std::filesystem::path& target) {
    // Wine makes neither kind, though it may say it did.
    if (wine::is_wine()) return wine::has_linux_tools() && wine::make_link(link, target);
    std::error_code ec;
    if (std::filesystem::is_directory(target, ec)) return make_junction(link, target) && is_link(link);
    // File links need Developer Mode or an administrator.
    return CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
           is_link(link);
}

void remove_link(const std::filesystem::path& link) {
    if (wine::is_wine()) {
        if (wine::has_linux_tools()) wine::remove_link(link);
        return;
    }
    // Windows removes a junction or a link, not what it leads to.
    if (!RemoveDirectoryW(link.c_str())) DeleteFileW(link.c_str());
}

}  // namespace vorlane::test
