#include "platform_faults.h"

namespace vorlane::robust::faults::plan {
namespace {

struct Plan {
    bool recording = false;
    std::string function;
    int call = 0;
    std::u16string output_path;
    const TestHost* host = nullptr;
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
    current.outcome.host_calls_before_fault = current.host->log().calls.size();
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

Outcome run(TestHost& host, const std::string& function, int call, bool (*on_output)(OutputRequest*)) {
    OutputRequest* request = host.request();
    current = Plan{};
    current.function = function;
    current.call = call;
    current.output_path = request->output_path ? request->output_path : u"";
    current.host = &host;
    current.recording = true;
    const bool result = on_output(request);
    current.recording = false;
    Outcome outcome = current.outcome;
    outcome.result = result;
    return outcome;
}

}  // namespace vorlane::robust::faults::plan
