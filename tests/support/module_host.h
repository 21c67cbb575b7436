#pragma once
// Loads the built plugin module once per test program and gives each test a
// scratch folder for its files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "plugin_module.h"
#include "scripted_host.h"

namespace vorlane::test {

inline const OutputPluginTable& plugin() {
    static std::unique_ptr<host::PluginModule> module = [] {
        std::string error;
        auto m = host::PluginModule::load(VORLANE_MODULE_PATH, error);
        if (!m) ADD_FAILURE() << error;
        return m;
    }();
    return *module->table();
}

class ScratchDir {
public:
    ScratchDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                ("vorlane-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() { std::filesystem::remove_all(path_); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline host::HostScript script_for(const std::string& path, std::int32_t frames, std::int32_t width = 23,
                                   std::int32_t height = 17) {
    host::HostScript s;
    s.width = width;
    s.height = height;
    s.frame_count = frames;
    s.output_path = std::filesystem::path(path).u16string();
    return s;
}

}  // namespace vorlane::test
