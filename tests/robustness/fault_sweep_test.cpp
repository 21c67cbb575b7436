// Every call the plugin makes to a platform service, failing in turn: one
// export per call, for a complete 3-frame export and for one the host stops
// after 2 frames (the only kind that corrects acTL, and so seeks). Whatever
// fails, nothing may crash or stay acquired, and the result must tell the
// truth about the file. What it found is in docs/robustness.md.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "apng_reader.h"
#include "file_checks.h"
#include "platform_faults.h"

namespace vorlane::robust {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Scenario {
    const char* name;
    std::int32_t stop_at;  // -1: never
    std::uint32_t frames;  // in the file when nothing fails
};
constexpr Scenario kScenarios[] = {{"complete", -1, 3}, {"stopped after 2", 2, 2}};

std::uint32_t frames_in(const Bytes& file) {
    return file == test::trailer_bytes() ? 0 : std::uint32_t(test::read_chunks(file).count("fcTL"));
}

// One line of how an export with one failed call ended, checking as it goes.
std::string judge(const faults::Function& f, const faults::Outcome& o, const host::HostLog& log,
                  const std::filesystem::path& path, const Bytes& clean, const Scenario& s) {
    const Bytes file = read_file(path);
    EXPECT_TRUE(o.fault_hit) << "the call was not made again";
    EXPECT_EQ(o.unreleased, std::vector<std::string>{});
    EXPECT_EQ(o.writes_after_nothing_taken, 0) << "wrote again to a file that took nothing";
    if (o.target == faults::Target::DiagnosticCopy) {
        // Best effort: a copy for debugging never changes the export.
        EXPECT_TRUE(o.result);
        EXPECT_EQ(file, clean);
        return "true, file complete (a diagnostic copy)";
    }
    if (o.result) {
        // True only for a complete file: the one a clean export writes.
        EXPECT_FALSE(f.decides) << "the failure was reported as success";
        EXPECT_EQ(file, clean) << "true, but the file is not the complete one";
        return "true, file complete";
    }
    if (o.target == faults::Target::OutputFile) {
        // The file is lost: no frame is worth fetching any more.
        for (std::size_t i = o.host_calls_before_fault; i < log.calls.size(); ++i)
            EXPECT_NE(log.calls[i].rfind("fetch", 0), 0u) << "fetched after the file failed: " << log.calls[i];
        if (!std::filesystem::exists(path)) return "false, no file";
        return file == clean ? "false, file written but not confirmed" : "false, file ends where writing failed";
    }
    // The file's own writes worked, so it is sound and announces what it holds.
    const std::uint32_t frames = frames_in(file);
    EXPECT_LT(frames, s.frames);
    EXPECT_EQ(test::check_apng(file, {5, 3, 1, 30, frames}), "");
    return frames == 0 ? "false, trailer only" : "false, " + std::to_string(frames) + " of " +
                                                     std::to_string(s.frames) + " frames, acTL " +
                                                     std::to_string(frames);
}

// "1-4 false, trailer only; 5 true, file complete": runs of calls that ended alike.
std::string call_ranges(const std::vector<std::string>& endings) {
    std::string out;
    for (std::size_t i = 0; i < endings.size();) {
        std::size_t j = i;
        while (j + 1 < endings.size() && endings[j + 1] == endings[i]) ++j;
        if (!out.empty()) out += "; ";
        out += std::to_string(i + 1);
        if (j > i) {
            out += '-';
            out += std::to_string(j + 1);
        }
        out += ' ';
        out += endings[i];
        i = j + 1;
    }
    return out;
}

TEST(FaultSweep, EveryPlatformCallFailsInTurn) {
    ASSERT_EQ(faults::install(), "");
    const std::filesystem::path path = scratch_dir("fault-sweep") / "out.png";
    const auto script_for = [&](const Scenario& s) {
        host::HostScript script = small_script(path);
        script.stop_before = s.stop_at;
        return script;
    };

    // Per function and scenario: the calls, and how each failing call ended.
    std::map<std::string, std::vector<int>> counts;
    std::map<std::string, std::vector<std::vector<std::string>>> endings;
    Bytes first_clean;
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        const faults::Outcome clean = [&] {
            host::HostLog log;
            return faults::run_export(script_for(s), log);
        }();
        ASSERT_TRUE(clean.result);
        ASSERT_EQ(clean.unreleased, std::vector<std::string>{});
        const Bytes clean_file = read_file(path);
        ASSERT_EQ(test::check_apng(clean_file, {5, 3, 1, 30, s.frames}), "");
        ASSERT_EQ(independent_check(script_for(s), std::int32_t(s.frames)), "");
        if (first_clean.empty()) first_clean = clean_file;

        for (const faults::Function& f : faults::functions()) {
            const auto it = clean.calls.find(f.name);
            const int calls = it == clean.calls.end() ? 0 : it->second;
            counts[f.name].push_back(calls);
            endings[f.name].emplace_back();
            for (int k = 1; k <= calls; ++k) {
                SCOPED_TRACE(f.name + " call " + std::to_string(k));
                std::filesystem::remove(path);
                host::HostLog log;
                const faults::Outcome o = faults::run_export(script_for(s), log, f.name, k);
                endings[f.name].back().push_back(judge(f, o, log, path, clean_file, s));
            }
        }
    }
    for (const faults::Function& f : faults::functions())
        EXPECT_GT(counts[f.name][0] + counts[f.name][1], 0) << f.name << " is never called: the sweep misses it";

    // Nothing the failures did lingers in the process.
    {
        host::HostLog log;
        EXPECT_TRUE(faults::run_export(script_for(kScenarios[0]), log).result);
    }
    EXPECT_EQ(read_file(path), first_clean) << "an export after the sweep differs from one before it";
    faults::uninstall();

    std::printf("| function | fails as | calls: complete / stopped | how each failing call ends |\n");
    std::printf("|---|---|---|---|\n");
    for (const faults::Function& f : faults::functions()) {
        std::string ends;
        for (std::size_t s = 0; s < std::size(kScenarios); ++s) {
            if (endings[f.name][s].empty()) continue;
            if (!ends.empty()) ends += "<br>";
            ends += kScenarios[s].name;
            ends += ": " + call_ranges(endings[f.name][s]);
        }
        // "WriteFile, taking nothing": the function in code type, the variant after it.
        const std::size_t variant = std::min(f.name.find(','), f.name.size());
        const std::string name = "`" + f.name.substr(0, variant) + "`" + f.name.substr(variant);
        std::printf("| %s | %s | %d / %d | %s |\n", name.c_str(), f.failure.c_str(), counts[f.name][0],
                    counts[f.name][1], ends.c_str());
    }
}

}  // namespace
}  // namespace vorlane::robust
