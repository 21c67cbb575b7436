#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "plugin_module.h"

namespace vorlane::host {
namespace {

std::wstring wide_from_utf8(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string describe_last_error(const char* what) {
    return std::string(what) + " (error " + std::to_string(GetLastError()) + ")";
}

}  // namespace

std::unique_ptr<PluginModule> PluginModule::load(const std::string& utf8_path, std::string& error) {
    const std::wstring path = wide_from_utf8(utf8_path);
    HMODULE handle = path.empty() ? nullptr : LoadLibraryW(path.c_str());
    if (!handle) {
        error = describe_last_error("LoadLibraryW failed");
        return nullptr;
    }
    auto get = reinterpret_cast<GetTableFn>(reinterpret_cast<void*>(GetProcAddress(handle, "GetOutputPluginTable")));
    if (!get) {
        error = "no GetOutputPluginTable in " + utf8_path;
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

std::string PluginModule::declared_version(const std::string& utf8_path) {
    const std::wstring path = wide_from_utf8(utf8_path);
    DWORD ignored = 0;
    const DWORD size = path.empty() ? 0 : GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<std::uint8_t> info(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, info.data())) return {};

    // The strings live under the first language and code page the file lists.
    struct Translation {
        WORD language;
        WORD code_page;
    };
    Translation* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
        length < sizeof(Translation))
        return {};
    auto text = [&](const wchar_t* name) -> std::string {
        wchar_t key[64];
        std::swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language, translation->code_page,
                      name);
        wchar_t* value = nullptr;
        UINT units = 0;
        if (!VerQueryValueW(info.data(), key, reinterpret_cast<void**>(&value), &units) || units == 0) return {};
        const std::wstring wide(value);
        const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                          nullptr, nullptr);
        std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
        if (n > 0)
            WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                                nullptr);
        return out;
    };
    const std::string version = text(L"ProductVersion");
    if (version.empty()) return {};
    const std::string name = text(L"ProductName");
    return name.empty() ? version : name + " " + version;
}

}  // namespace vorlane::host
