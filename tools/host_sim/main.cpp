// vorlane-host: loads the plugin module like the host does and exports the
// built-in demo animation through it.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "console.h"
#include "options.h"
#include "plugin_module.h"
#include "resource_check.h"
#include "scripted_host.h"
#include "vorlane_commit.h"

namespace {

using namespace vorlane::host;

void say(const std::string& line) {
    print(stdout, line + "\n");
}

void complain(const std::string& line) {
    print(stderr, "vorlane-host: " + line + "\n");
}

void draw_progress(std::int32_t index, std::int32_t total) {
    constexpr int kWidth = 40;
    const int filled = total > 0 ? static_cast<int>(std::int64_t(index) * kWidth / total) : 0;
    char line[96];
    std::snprintf(line, sizeof line, "\r[%.*s%*s] %d/%d", filled, "########################################",
                  kWidth - filled, "", index, total);
    print(stderr, line);
}

std::string count(std::int64_t n, const char* thing) {
    return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

// What lies at `path` now, for a result line: its size, and whether it is an
// image at all (a run that wrote no frame leaves only the closing chunks).
std::string holding(const std::filesystem::path& path) {
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(path, ec);
    if (ec) return "no file";
    char signature[8] = {};
    std::ifstream(path, std::ios::binary).read(signature, sizeof signature);
    const bool image = std::memcmp(signature, "\x89PNG\r\n\x1a\n", 8) == 0;
    return count(std::int64_t(bytes), "byte") + (image ? "" : ", no image");
}

// The result line of one export, and after a failure what the path now
// holds: the bytes the plugin wrote, or nothing when it could not make the
// file, and then the system's reason.
void report_export(const std::filesystem::path& output, bool ok, const HostLog& log, bool existed_before,
                   double seconds) {
    const std::string frames = count(log.frames_served, "frame");
    if (ok) {
        char rate[64];
        std::snprintf(rate, sizeof rate, "%.2f s (%.1f frames/s)", seconds,
                      seconds > 0 ? log.frames_served / seconds : 0.0);
        say("exported: " + utf8(output) + ", " + frames + ", " + holding(output) + ", " + rate);
        return;
    }
    // The plugin replaces the file before it reports its first frame: a run
    // that failed before that never made it.
    bool made = false;
    for (const std::string& call : log.calls) made = made || call.rfind("progress ", 0) == 0;
    if (made) {
        say("FAILED: " + utf8(output) + ", " + frames + " fetched; written before the failure: " + holding(output));
        return;
    }
    say("FAILED: " + utf8(output) + ", " + frames + ", nothing written" +
        (existed_before ? ": the file there is as it was" : ""));
    const std::string why = why_not_writable(output);
    complain(why.empty() ? "the plugin failed before its first frame, though " + utf8(output) + " can be written"
                         : "the plugin could not create " + utf8(output) + ": " + why);
}

}  // namespace

int main(int argc, char** argv) {
    restrict_dll_search();
    std::string error;
    const auto arguments = program_arguments(argc, argv, error);
    std::optional<HostOptions> parsed;
    if (arguments) parsed = parse_options(*arguments, error);
    if (!parsed) {
        complain(error);
        print(stderr, "Run vorlane-host --help for the options.\n");
        return 2;
    }
    HostOptions& options = *parsed;
    if (options.help) {
        print(stdout, usage_text(PluginModule::default_file_name()));
        return 0;
    }
    const bool module_given = !options.module.empty();
    const std::filesystem::path module_path =
        module_given ? options.module : running_program().parent_path() / PluginModule::default_file_name();

    if (options.version) {
        say(std::string("vorlane-host ") + VORLANE_VERSION_TEXT);
        if (!module_given) return 0;
        // Read from the file as Windows' file properties do: the module is not loaded.
        std::string why_none;
        const std::string declared = PluginModule::declared_version(module_path, why_none);
        say(utf8(module_path) + ": " + (declared.empty() ? why_none : declared));
        return declared.empty() ? 1 : 0;
    }

    auto load = [&]() {
        auto module = PluginModule::load(module_path, error);
        if (!module) complain("cannot load " + utf8(module_path) + ": " + error);
        return module;
    };
    auto module = load();
    if (!module) return 2;

    for (const std::string& note : notes_on(options)) print(stderr, "note: " + note + "\n");

    HostScript& script = options.script;
    script.output_path = options.output.u16string();
    // Redrawn with '\r', the bar is for a person watching; a log gets only the result line.
    const bool progress_bar = !options.quiet && stderr_is_terminal();
    if (progress_bar) script.on_progress = draw_progress;

    bool all_ok = true;
    [[maybe_unused]] ResourceSamples samples;  // vorlane-host-test's
    for (std::int32_t run = 1; run <= options.repeat; ++run) {
        if (options.reload_module && run > 1 && !(module = load())) return 2;
        std::error_code ec;
        const bool existed_before = std::filesystem::exists(options.output, ec);
        HostLog log;
        const auto start = std::chrono::steady_clock::now();
        const bool ok = run_export(*module->table(), script, log);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        all_ok = all_ok && ok;
        if (options.reload_module) module.reset();
        if (progress_bar) {
            draw_progress(log.frames_served, script.frame_count);
            print(stderr, "\n");
        }
        report_export(options.output, ok, log, existed_before, seconds);

        if constexpr (kTestSwitches) after_export(options, run, samples);
    }
    if constexpr (kTestSwitches) return exit_status(options, samples, all_ok);
    else return all_ok ? 0 : 1;
}
