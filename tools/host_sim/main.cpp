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
#include "process_stats.h"
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

// Prints a "growth:" line for every counter over its limit, from the end of
// the warm-up to the last export, and says whether any was: a handle count
// may grow by a quarter of a handle per export, memory by `memory_tolerance`
// bytes per export (unchecked when negative). A leak worth finding loses a
// handle or some memory at every export, so it adds up; a thread or cache
// that comes and goes (GDI+ starts a thread for every GdiplusStartup) does
// not, and spread over many exports it stays within the limits.
bool report_growth(const std::vector<ProcessCounter>& settled, const std::vector<ProcessCounter>& last,
                   std::int32_t exports, std::int32_t memory_tolerance) {
    const std::int32_t counted = exports - kWarmUpExports;
    bool grew = false;
    for (std::size_t i = 0; i < last.size() && i < settled.size(); ++i) {
        const bool handles = last[i].is_handle_count;
        if (!handles && memory_tolerance < 0) continue;
        const std::int64_t growth = last[i].value - settled[i].value;
        if (handles ? 4 * growth <= counted : growth <= std::int64_t(memory_tolerance) * counted) continue;
        const double rate = double(growth) / counted;
        char over[64];
        if (handles) std::snprintf(over, sizeof over, "%.2f per export, more than 0.25", rate);
        else std::snprintf(over, sizeof over, "%.0f per export, more than %d", rate, memory_tolerance);
        std::printf("growth: %s %lld after export %d, %lld after export %d: %s\n", last[i].name.c_str(),
                    static_cast<long long>(settled[i].value), kWarmUpExports, static_cast<long long>(last[i].value),
                    exports, over);
        grew = true;
    }
    std::fflush(stdout);
    return grew;
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
    bool grew = false;
    std::vector<ProcessCounter> settled;
    std::vector<ProcessCounter> last;
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

        if (options.leak_for_test) {
            // Deliberately never released: one handle or descriptor, and
            // memory that is written so that it is really committed.
            static_cast<void>(new std::ifstream(options.output, std::ios::binary));
            std::memset(new char[1 << 20], 1, 1 << 20);
        }

        if (!options.report_resources) continue;
        const std::vector<ProcessCounter> counters = sample_process_counters();
        std::printf("resources after export %d:", run);
        for (const ProcessCounter& c : counters) std::printf(" %s=%lld", c.name.c_str(), static_cast<long long>(c.value));
        std::printf("\n");
        if (run == kWarmUpExports) settled = counters;
        last = counters;
    }
    if (options.report_resources && options.repeat > kWarmUpExports)
        grew = report_growth(settled, last, options.repeat, options.memory_tolerance);
    // A line to match: under Wine a test cannot always rely on the exit status.
    if (options.fail_on_growth && all_ok && !grew)
        say("no growth over " + std::to_string(options.repeat) + " exports");
    if (options.fail_on_growth && grew) return 3;
    return all_ok ? 0 : 1;
}
