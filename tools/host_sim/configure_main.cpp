// vorlane-configure: opens the plugin's settings dialog the way the host
// does, then prints the configuration text it ends with.
#include <cstdio>
#include <filesystem>
#include <string>

#include "plugin_module.h"

int main(int argc, char** argv) {
    using vorlane::host::PluginModule;
    const std::string module_path = argc > 1 ? argv[1]
        : (std::filesystem::path(argv[0]).parent_path() / PluginModule::default_file_name()).string();
    std::string error;
    auto module = PluginModule::load(module_path, error);
    if (!module) {
        std::fprintf(stderr, "vorlane-configure: cannot load %s: %s\n", module_path.c_str(), error.c_str());
        return 2;
    }
    const vorlane::OutputPluginTable& table = *module->table();
    const bool ok = table.on_configure(nullptr, module->instance());
    // The text is ASCII but for its label; print the setting's digit.
    const std::u16string text = table.on_config_text();
    std::printf("on_configure: %s, divide RGB by alpha: %c\n", ok ? "true" : "false",
                text.empty() ? '?' : static_cast<char>(text.back()));
    return ok ? 0 : 1;
}
