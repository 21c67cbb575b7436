#pragma once
// Makes one call that the plugin makes to a platform service fail, the way
// that service reports failure, and keeps count of every call and of what
// the plugin acquired and did not release. Natively the calls are those of
// the portable stand-ins (libc and libpng, redirected at link time); on
// Windows they are the real module's imports, redirected in its import
// table, and the memory stream's methods, reached through a wrapper.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "scripted_host.h"

namespace vorlane::robust::faults {

// What the failed call was for: the export's own file, a diagnostic copy
// (best effort, never deciding), or anything else the export needs.
enum class Target { None, OutputFile, DiagnosticCopy, Other };

struct Outcome {
    bool result = false;               // on_output's
    std::map<std::string, int> calls;  // per function, in this export
    bool fault_hit = false;            // the planned call was made, and failed
    Target target = Target::None;
    std::size_t host_calls_before_fault = 0;  // host callbacks made before it
    int writes_after_nothing_taken = 0;  // further writes to a file that took nothing
    std::vector<std::string> unreleased;  // what the export acquired and kept
};

struct Function {
    std::string name;
    std::string failure;   // how it fails, in the service's own terms
    bool decides = true;   // whether its failure must fail the export
};

// Sets the interception up (once per process) and the diagnostic folder
// "C:/temp" for every export of the sweep; empty when all went well.
std::string install();
// Takes the diagnostic folder away again.
void uninstall();

// The functions the sweep fails, in the order of its table.
const std::vector<Function>& functions();

// One export of `script`, with the `call`-th call (from 1) of `function`
// failing; no call fails when `function` is empty.
Outcome run_export(const host::HostScript& script, host::HostLog& log, const std::string& function = {},
                   int call = 0);

// What both platforms' interceptions share (platform_faults.cpp).
namespace plan {

// Counts a call of `function` while an export runs; true when it is the
// one to fail, which is then noted in the outcome.
bool fails(const char* function, Target target = Target::Other);

// For a write of `function` to `object`: true for the planned call, which
// then takes nothing and reports success, and for every later write to the
// same object, as a full disk would keep doing. Later writes are counted in
// the outcome; after 100 of them the disk relents, so that a write loop that
// retries forever ends the export instead of hanging the sweep.
bool takes_nothing(const char* function, std::intptr_t object, Target target);
// The object is closed: a later one with the same handle is another file.
void closed(std::intptr_t object);

// Whether `path` is the export's own file.
bool is_output_path(const char* path);
bool is_output_path(const wchar_t* path);

// Runs `on_output` on `script`'s request with the plan in force.
Outcome run(const host::HostScript& script, host::HostLog& log, const std::string& function, int call,
            const host::OnOutput& on_output);

}  // namespace plan

}  // namespace vorlane::robust::faults
