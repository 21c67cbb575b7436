// vorlane-configure: opens the plugin's settings dialog the way the host
// does, then prints the configuration text it ends with.
#include <cstdio>
#include <filesystem>
#include <string>

#include "console.h"
#include "plugin_module.h"

int main(int argc, char** argv) {
    using namespace vorlane::host;
    restrict_dll_search();
    std::string error;
    const auto arguments = program_arguments(argc, argv, error);
    if (!arguments) {
        print(stderr, "vorlane-configure: " + error + "\n");
        return 2;
    }
    const std::filesystem::path module_path = !arguments->empty() ? arguments->front().path
        : running_program().parent_path() / PluginModule::default_file_name();
    auto module = PluginModule::load(module_path, error);
    if (!module) {
        print(stderr, "vorlane-configure: cannot load " + utf8(module_path) + ": " + error + "\n");
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
