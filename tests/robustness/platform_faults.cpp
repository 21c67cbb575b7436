#include "platform_faults.h"

namespace vorlane::robust::faults::plan {
namespace {

struct Plan {
    bool recording = false;
    std::string function;
    int call = 0;
    std::u16string output_path;
    const host::HostLog* log = nullptr;
    bool starving = false;  // a write took nothing, and so will every later one to it
    std::intptr_t starved = 0;
    Outcome outcome;
};
Plan current;

template <typename Char>
bool same_path(const Char* path) {
    if (!path) return false;
    std::size_t i = 0;
    for (; path[i] != 0; ++i)
        if (i >= current.output_path.size() || char16_t(path[i]) != current.output_path[i]) return false;
    return i == current.output_path.size();
}

}  // namespace

bool fails(const char* function, Target target) {
    if (!current.recording) return false;
    const int n = ++current.outcome.calls[function];
    if (function != current.function || n != current.call) return false;
    current.outcome.fault_hit = true;
    current.outcome.target = target;
    current.outcome.host_calls_before_fault = current.log->calls.size();
    return true;
}

bool takes_nothing(const char* function, std::intptr_t object, Target target) {
    if (!current.recording) return false;
    if (current.starving && object == current.starved) return ++current.outcome.writes_after_nothing_taken <= 100;
    if (!fails(function, target)) return false;
    current.starving = true;
    current.starved = object;
    return true;
}

void closed(std::intptr_t object) {
    if (current.starving && object == current.starved) current.starving = false;
}

bool is_output_path(const char* path) {
    return same_path(path);
}

bool is_output_path(const wchar_t* path) {
    return same_path(path);
}

Outcome run(const host::HostScript& script, host::HostLog& log, const std::string& function, int call,
            const host::OnOutput& on_output) {
    current = Plan{};
    current.function = function;
    current.call = call;
    current.output_path = script.output_path;
    current.log = &log;
    current.recording = true;
    const bool result = host::run_export(on_output, script, log);
    current.recording = false;
    Outcome outcome = current.outcome;
    outcome.result = result;
    return outcome;
}

}  // namespace vorlane::robust::faults::plan
