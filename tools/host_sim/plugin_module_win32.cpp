#include <windows.h>

#include <string>

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

}  // namespace vorlane::host
