#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "console.h"
#include "plugin_module.h"
#include "version_dll.h"

namespace vorlane::host {
namespace {

std::string utf8_of(const wchar_t* wide) {
    return utf8(std::filesystem::path(wide));
}

// The system's text, with the file's name where it says "%1".
std::string loader_message(DWORD code, const std::filesystem::path& path) {
    std::string text = system_message(code);
    const std::size_t at = text.find("%1");
    if (at != std::string::npos) text.replace(at, 2, utf8(path.filename()));
    return text;
}

}  // namespace

void restrict_dll_search() {
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

std::unique_ptr<PluginModule> PluginModule::load(const std::filesystem::path& path, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = "not found: " + loader_message(ERROR_MOD_NOT_FOUND, path);
        return nullptr;
    }
    // An absolute path, so that the loader takes this very file and does not
    // search its folders for one of that name; what the module imports comes
    // from System32 alone, as the module needs nothing but system DLLs.
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    HMODULE handle = LoadLibraryExW((ec ? path : absolute).c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!handle) {
        const DWORD code = GetLastError();
        if (code == ERROR_BAD_EXE_FORMAT)
            error = "not a 64-bit Windows module: " + loader_message(code, path);
        else if (code == ERROR_MOD_NOT_FOUND)
            error = "a module it needs is missing: " + loader_message(code, path);
        else
            error = loader_message(code, path);
        return nullptr;
    }
    auto get = reinterpret_cast<GetTableFn>(reinterpret_cast<void*>(GetProcAddress(handle, "GetOutputPluginTable")));
    if (!get) {
        error = "not a plugin: it exports no GetOutputPluginTable (" + loader_message(GetLastError(), path) + ")";
        FreeLibrary(handle);
        return nullptr;
    }
    return std::unique_ptr<PluginModule>(new PluginModule(handle, get));
}

PluginModule::~PluginModule() {
    FreeLibrary(static_cast<HMODULE>(handle_));
}

const char* PluginModule::default_file_name() {
    return "vorlane.dll";
}

std::string PluginModule::declared_version(const std::filesystem::path& path, std::string& why_none) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        why_none = "not found: " + loader_message(ERROR_FILE_NOT_FOUND, path);
        return {};
    }
    why_none = "no version information";
    const VersionDll dll;
    if (!dll) return {};
    DWORD ignored = 0;
    const DWORD size = dll.size(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<std::uint8_t> info(size);
    if (!dll.read(path.c_str(), 0, size, info.data())) return {};

    // The strings live under the first language and code page the file lists.
    struct Translation {
        WORD language;
        WORD code_page;
    };
    Translation* translation = nullptr;
    UINT length = 0;
    if (!dll.query(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
        length < sizeof(Translation))
        return {};
    auto text = [&](const wchar_t* name) -> std::string {
        wchar_t key[64];
        std::swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language, translation->code_page,
                      name);
        wchar_t* value = nullptr;
        UINT units = 0;
        if (!dll.query(info.data(), key, reinterpret_cast<void**>(&value), &units) || units == 0) return {};
        return utf8_of(value);
    };
    const std::string version = text(L"ProductVersion");
    if (version.empty()) return {};
    why_none.clear();
    const std::string name = text(L"ProductName");
    return name.empty() ? version : name + " " + version;
}

}  // namespace vorlane::host
