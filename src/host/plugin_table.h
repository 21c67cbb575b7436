#pragma once
// The module's one export and the static table it hands the host. The layout
// is the host's: x64, natural alignment.
#include <cstddef>
#include <cstdint>

#include "host/output_request.h"

namespace vorlane {

extern "C" {
using OnOutputFn = bool(VORLANE_CALL*)(OutputRequest* request);
using OnConfigureFn = bool(VORLANE_CALL*)(void* parent_window, void* module_instance);
using OnConfigTextFn = const char16_t*(VORLANE_CALL*)();
}

struct OutputPluginTable {
    std::int32_t flags;
    std::int32_t padding;
    const char16_t* display_name;
    const char16_t* file_filter;  // label/pattern pairs, ended by an empty string
    const char16_t* about_text;
    OnOutputFn on_output;
    OnConfigureFn on_configure;
    OnConfigTextFn on_config_text;
    void* reserved;
};

static_assert(offsetof(OutputPluginTable, flags) == 0);
static_assert(offsetof(OutputPluginTable, display_name) == 8);
static_assert(offsetof(OutputPluginTable, file_filter) == 16);
static_assert(offsetof(OutputPluginTable, about_text) == 24);
static_assert(offsetof(OutputPluginTable, on_output) == 32);
static_assert(offsetof(OutputPluginTable, on_configure) == 40);
static_assert(offsetof(OutputPluginTable, on_config_text) == 48);
static_assert(offsetof(OutputPluginTable, reserved) == 56);
static_assert(sizeof(OutputPluginTable) == 64);

}  // namespace vorlane

#if defined(_WIN32)
#define VORLANE_EXPORT __declspec(dllexport)
#else
#define VORLANE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" VORLANE_EXPORT vorlane::OutputPluginTable* VORLANE_CALL GetOutputPluginTable();
