#include <dlfcn.h>

#include <cerrno>

#include "console.h"
#include "plugin_module.h"

namespace vorlane::host {

void restrict_dll_search() {}

std::unique_ptr<PluginModule> PluginModule::load(const std::filesystem::path& path, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = "not found: " + system_message(ENOENT);
        return nullptr;
    }
    // A path with a folder in it, so that dlopen takes this very file and
    // does not search the library folders for one of that name.
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    void* handle = dlopen((ec ? path : absolute).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        error = std::string("not a module this system can load: ") + (why ? why : "dlopen failed");
        return nullptr;
    }
    auto get = reinterpret_cast<GetTableFn>(dlsym(handle, "GetOutputPluginTable"));
    if (!get) {
        const char* why = dlerror();
        error = std::string("not a plugin: it exports no GetOutputPluginTable (") + (why ? why : "dlsym failed") + ")";
        dlclose(handle);
        return nullptr;
    }
    return std::unique_ptr<PluginModule>(new PluginModule(handle, get));
}

PluginModule::~PluginModule() {
    dlclose(handle_);
}

const char* PluginModule::default_file_name() {
    return "vorlane.so";
}

std::string PluginModule::declared_version(const std::filesystem::path& path, std::string& why_none) {
    std::error_code ec;
    why_none = std::filesystem::is_regular_file(path, ec)
                   ? "no version information: a module built for this system carries none"
                   : "not found: " + system_message(ENOENT);
    return {};
}

}  // namespace vorlane::host
