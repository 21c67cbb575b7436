#include <dlfcn.h>

#include "plugin_module.h"

namespace vorlane::host {

std::unique_ptr<PluginModule> PluginModule::load(const std::string& utf8_path, std::string& error) {
    void* handle = dlopen(utf8_path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        error = dlerror();
        return nullptr;
    }
    auto get = reinterpret_cast<GetTableFn>(dlsym(handle, "GetOutputPluginTable"));
    if (!get) {
        error = "no GetOutputPluginTable in " + utf8_path;
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

std::string PluginModule::declared_version(const std::string&) {
    return {};
}

}  // namespace vorlane::host
