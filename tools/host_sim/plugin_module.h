#pragma once
// Loads a plugin module by path and finds its table: dlopen here,
// LoadLibraryExW on Windows. Unloads it when destroyed.
#include <filesystem>
#include <memory>
#include <string>

#include "host/plugin_table.h"

namespace vorlane::host {

// First thing in main on Windows: from now on the process loads DLLs from
// System32 alone, never from its own folder, where anyone who could drop a
// file may have left one of a system DLL's names. Nothing elsewhere.
void restrict_dll_search();

class PluginModule {
public:
    // Null with `error` set when the module cannot be loaded or has no
    // table: which of those, and the system's words for it.
    static std::unique_ptr<PluginModule> load(const std::filesystem::path& path, std::string& error);
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    OutputPluginTable* table() const { return get_table_(); }
    void* instance() const { return handle_; }

    // The module's file name beside the running program, for defaults.
    static const char* default_file_name();

    // The product name and version that a module file declares, such as
    // "Vorlane 1.1.0 (commit 0123456789ab)", read from the file without
    // loading it; empty, with the reason in `why_none`, when it declares none
    // (a module built here for Linux never does).
    static std::string declared_version(const std::filesystem::path& path, std::string& why_none);

private:
    using GetTableFn = OutputPluginTable*(VORLANE_CALL*)();
    PluginModule(void* handle, GetTableFn get) : handle_(handle), get_table_(get) {}
    void* handle_;
    GetTableFn get_table_;
};

}  // namespace vorlane::host
