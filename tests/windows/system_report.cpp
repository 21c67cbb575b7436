#include "system_report.h"

#include <windows.h>

#include <cstdint>
#include <filesystem>

#include "console.h"
#include "version_dll.h"

namespace vorlane::test {
namespace {

using host::utf8;

std::string registry_text(HKEY root, const wchar_t* key, const wchar_t* name) {
    wchar_t value[512] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    if (RegGetValueW(root, key, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) return "?";
    return utf8(std::filesystem::path(value));
}

std::string registry_number(HKEY root, const wchar_t* key, const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(root, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS) return "?";
    return std::to_string(value);
}

// The version Windows really is: GetVersionEx answers what the program's
// manifest asked for.
std::string windows_version() {
    const wchar_t* key = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    std::string numbers = "?";
    using RtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto get = reinterpret_cast<RtlGetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (get && get(&info) == 0)
        numbers = std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
                  std::to_string(info.dwBuildNumber);
    // Windows 11 still calls itself Windows 10 here; its build (22000 or more) tells.
    return registry_text(HKEY_LOCAL_MACHINE, key, L"ProductName") + ", " +
           registry_text(HKEY_LOCAL_MACHINE, key, L"DisplayVersion") + ", version " + numbers + " (build " +
           registry_text(HKEY_LOCAL_MACHINE, key, L"CurrentBuildNumber") + "." +
           registry_number(HKEY_LOCAL_MACHINE, key, L"UBR") + ")";
}

std::string cpu() {
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    return registry_text(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                         L"ProcessorNameString") +
           ", " + std::to_string(info.dwNumberOfProcessors) + " logical processors";
}

// The file the module's GDI+ calls go to, and its version.
std::string gdiplus() {
    const HMODULE module = LoadLibraryExW(L"gdiplus.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module) return "cannot be loaded: " + host::system_message(GetLastError());
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(module, path.data(), DWORD(path.size())));
    FreeLibrary(module);
    const host::VersionDll dll;
    DWORD ignored = 0;
    const DWORD size = dll ? dll.size(path.c_str(), &ignored) : 0;
    std::vector<std::uint8_t> info(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    std::string version = "no version information";
    if (size && dll.read(path.c_str(), 0, size, info.data()) &&
        dll.query(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && length >= sizeof *fixed)
        version = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) +
                  "." + std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
                  std::to_string(LOWORD(fixed->dwFileVersionLS));
    return version + ", " + utf8(std::filesystem::path(path));
}

std::string locale_name(LCID id) {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    return LCIDToLocaleName(id, name, LOCALE_NAME_MAX_LENGTH, 0) ? utf8(std::filesystem::path(name))
                                                                  : std::to_string(id);
}

}  // namespace

std::vector<std::string> system_report() {
    return {
        "windows: " + windows_version(),
        "cpu: " + cpu(),
        "gdiplus.dll: " + gdiplus(),
        "code pages: ANSI " + std::to_string(GetACP()) + ", OEM " + std::to_string(GetOEMCP()) + ", console " +
            std::to_string(GetConsoleOutputCP()),
        "languages: user interface " + locale_name(GetUserDefaultUILanguage()) + ", user locale " +
            locale_name(GetUserDefaultLCID()),
    };
}

}  // namespace vorlane::test
