#pragma once
// vorlane-host's command line: the options, their checks, and what the
// plugin will make of requests that are valid to send but give no good file.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "console.h"
#include "scripted_host.h"

namespace vorlane::host {

// vorlane-host-test is vorlane-host built with the tests' resource checks
// (--report-resources, --fail-on-growth, --memory-tolerance, --leak-for-test).
// Users get vorlane-host, which has neither the switches nor the counters.
#ifdef VORLANE_HOST_TEST_SWITCHES
constexpr bool kTestSwitches = true;
#else
constexpr bool kTestSwitches = false;
#endif

// With --fail-on-growth, the exports that set up what later ones reuse
// (GDI+'s codecs and COM's caches on first use, the loader, heap segments)
// and are held to no limit.
constexpr std::int32_t kWarmUpExports = 2;

struct HostOptions {
    HostScript script;  // all but output_path, which comes from `output`
    std::string rate_text = "30";
    std::filesystem::path output = "vorlane-demo.png";
    std::filesystem::path module;  // empty: the one beside this program
    bool help = false;
    bool version = false;
    bool quiet = false;
    std::int32_t repeat = 1;
    bool reload_module = false;
    // Set only in vorlane-host-test:
    bool report_resources = false;
    bool fail_on_growth = false;
    std::int32_t memory_tolerance = -1;  // no memory check
    bool leak_for_test = false;
};

// Nothing, with `error` naming the option and what was wrong with it, when
// the command line is not understood.
std::optional<HostOptions> parse_options(const std::vector<Argument>& arguments, std::string& error);

std::string usage_text(const char* default_module);

// One line for each part of the request that leaves no good file (no frames,
// no pixels, a rate that is not positive), saying what the plugin will make
// of it. The request still goes to the plugin as it is.
std::vector<std::string> notes_on(const HostOptions& options);

}  // namespace vorlane::host
