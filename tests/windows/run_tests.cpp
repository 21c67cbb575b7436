// run-tests.exe, the one command of the Windows test bundle: runs each test
// program beside it that needs nothing but Windows, then exports a small
// demo to send back, prints each verdict, what the bundle leaves out and a
// report on the system, and ends with "N passed, N failed"; it exits 0 only
// when every check passed. Everything it prints also goes to results.txt
// beside it. Scratch files go to a folder of its own under the user's
// temporary folder (the programs inherit it as TMP), removed at the end
// whatever the programs left. Names given on the command line run only
// those programs.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "console.h"
#include "plugin_module.h"
#include "system_report.h"
#include "vorlane_commit.h"

namespace {

using vorlane::host::utf8;

struct Check {
    const wchar_t* program;
    const wchar_t* arguments;  // "{scratch:NAME}" and "{here:NAME}" name files in those folders
    DWORD exit_code;           // what passing looks like
    const char* what;
};

constexpr Check kChecks[] = {
    {L"windows_export_test.exe", L"", 0,
     "exports through the module, decoded pixel for pixel, with the encoder's own PNG layout and the two that "
     "GDI+ on Windows writes, bad requests among them with the host's buffers guarded; the version resource; what "
     "the system's encoder writes"},
    {L"windows_converter_test.exe", L"", 0, "the conversion as this build compiles it, on every CPU path"},
    {L"windows_fault_sweep_test.exe", L"", 0, "every platform call of an export failing in turn"},
    {L"windows_dialog_test.exe", L"--gtest_filter=DialogTemplate.*:DialogOnDisplay.*", 0,
     "the settings dialog on this desktop: it opens and closes by itself several times"},
    // The limits, a quarter of the planted leak per export after two warm-up
    // exports, leave room for what GDI+ and COM keep from first use.
    {L"vorlane-host-test.exe",
     L"-q -n 300 -W 64 -H 36 --repeat 12 --fail-on-growth --memory-tolerance 262144 -o {scratch:repeated.png}", 0,
     "handles and memory over twelve exports in one process"},
    {L"vorlane-host-test.exe",
     L"-q -n 300 -W 64 -H 36 --repeat 12 --fail-on-growth --memory-tolerance 262144 -o {scratch:leak.png} "
     L"--leak-for-test",
     3, "the same with a leak planted on purpose: the check must see it (exit code 3)"},
    {L"vorlane-host.exe", L"-q -W 240 -H 136 -n 24 -r 12 -o {here:results-demo.png}", 0,
     "a small demo export left beside this program, to send back with results.txt"},
};

// Figures, never a verdict: the export benchmark on a fixed, short
// workload, its table per step sent back as "report:" lines. Nobody knows
// yet how fast the real GDI+ encodes, and so what share of an export is ours.
constexpr Check kMeasurements[] = {
    {L"export_bench.exe", L"--report -W 1280 -H 720 -n 30 -o {scratch:bench-720.png}", 0,
     "an export of 30 frames of 1280 x 720, timed step by step (figures only: it passes or fails nothing)"},
    {L"export_bench.exe", L"--report -W 1920 -H 1080 -n 20 -o {scratch:bench-1080.png}", 0,
     "the same with 20 frames of 1920 x 1080"},
};

constexpr const char* kLeftOut[] = {
    "the dialog where no display exists: Windows always has a desktop (the Wine suite runs it without one)",
    "a disk that fills up: made in the Wine suite by a file-size limit on the Linux process",
    "the module's import, export and TLS tables and where its AVX instructions lie: checked on the build machine",
    "the licence notices against what is linked, and the release archive: checked on the build machine",
    "pngcheck and Pillow as second opinions on every file: Linux programs (here the tests' own decoder checks it)",
};

// A program that hangs fails instead of holding up the run; the dialog test
// ends a dialog that does not close within seconds by itself.
constexpr DWORD kTimeLimitMs = 10 * 60 * 1000;

// Everything printed goes to the console (or wherever standard output
// leads) and to results.txt, which gets UTF-8 with CRLF line ends for
// Notepad.
class Output {
public:
    explicit Output(const std::filesystem::path& file) : file_(_wfopen(file.c_str(), L"wb")) {
        if (file_) std::fputs("\xEF\xBB\xBF", file_);
    }
    ~Output() {
        if (file_) std::fclose(file_);
    }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    bool has_file() const { return file_ != nullptr; }

    // The programs' output comes with CRLF already; every line end is made
    // one again, by the C runtime for standard output and here for the file.
    void write(std::string text) {
        std::erase(text, '\r');
        vorlane::host::print(stdout, text);
        if (!file_) return;
        for (const char c : text) {
            if (c == '\n') std::fputc('\r', file_);
            std::fputc(c, file_);
        }
        std::fflush(file_);
    }
    void line(const std::string& text) { write(text + "\n"); }

private:
    std::FILE* file_;
};

std::filesystem::path make_scratch_folder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const std::filesystem::path folder = std::wstring(buffer, GetTempPathW(MAX_PATH + 1, buffer)) +
                                         L"vorlane-tests-" + std::to_wstring(GetCurrentProcessId());
    return CreateDirectoryW(folder.c_str(), nullptr) ? folder : std::filesystem::path();
}

// "{scratch:NAME}" and "{here:NAME}" become that file's path in the scratch
// folder or beside this program, quoted: a folder may have spaces in its name.
std::wstring arguments_for(const Check& check, const std::filesystem::path& scratch, const std::filesystem::path& here) {
    std::wstring out = check.arguments;
    for (std::size_t at; (at = out.find(L'{')) != std::wstring::npos;) {
        const std::size_t colon = out.find(L':', at);
        const std::size_t end = out.find(L'}', at);
        const std::wstring where = out.substr(at + 1, colon - at - 1);
        const std::wstring name = out.substr(colon + 1, end - colon - 1);
        out.replace(at, end - at + 1, L"\"" + ((where == L"here" ? here : scratch) / name).wstring() + L"\"");
    }
    return out;
}

// What a program writes, passed on line by line as it comes and kept whole.
struct Capture {
    HANDLE pipe;
    Output* output;
    std::string text;
};

DWORD WINAPI pass_on(void* context) {
    auto* capture = static_cast<Capture*>(context);
    std::string pending;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(capture->pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        pending.append(buffer, n);
        // Whole lines only, so that no UTF-8 sequence is cut in two.
        const std::size_t end = pending.rfind('\n');
        if (end == std::string::npos) continue;
        capture->output->write(pending.substr(0, end + 1));
        capture->text += pending.substr(0, end + 1);
        pending.erase(0, end + 1);
    }
    if (!pending.empty()) {
        capture->output->line(pending);
        capture->text += pending;
    }
    return 0;
}

// Runs one program with its output piped through this one; its exit code,
// or a description of why it has none.
bool run(const std::filesystem::path& folder, const std::wstring& arguments, const wchar_t* name, Output& output,
         std::string& captured, DWORD& exit_code, std::string& trouble) {
    const std::filesystem::path program = folder / name;
    std::wstring command = L"\"" + program.wstring() + L"\" " + arguments;

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) {
        trouble = "no pipe for its output: " + vorlane::host::system_message(GetLastError());
        return false;
    }
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    // No input: nothing a program waits for can come from the keyboard.
    const HANDLE nothing = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                       OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = write_end;
    startup.hStdError = write_end;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        folder.c_str(), &startup, &process);
    const DWORD start_error = GetLastError();
    // Only the program holds the write end now: the pipe ends when it does.
    CloseHandle(write_end);
    if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
    if (!started) {
        CloseHandle(read_end);
        trouble = "cannot be started: " + vorlane::host::system_message(start_error);
        return false;
    }
    CloseHandle(process.hThread);

    Capture capture{read_end, &output, {}};
    const HANDLE reader = CreateThread(nullptr, 0, pass_on, &capture, 0, nullptr);
    const bool ended = WaitForSingleObject(process.hProcess, kTimeLimitMs) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 10000);
        trouble = "did not end within " + std::to_string(kTimeLimitMs / 60000) + " minutes";
    }
    GetExitCodeProcess(process.hProcess, &exit_code);
    CloseHandle(process.hProcess);
    if (reader) {
        // A child of the program may still hold the pipe: then give up on it.
        if (WaitForSingleObject(reader, 10000) != WAIT_OBJECT_0) {
            CancelSynchronousIo(reader);
            WaitForSingleObject(reader, 10000);
        }
        CloseHandle(reader);
    }
    CloseHandle(read_end);
    captured = capture.text;
    return ended;
}

// GoogleTest's closing count, "[==========] N tests from M test suites ran.".
int test_cases_in(const std::string& text) {
    const std::string mark = "[==========] ";
    int count = 0;
    for (std::size_t at = 0; (at = text.find(mark, at)) != std::string::npos; at += mark.size()) {
        const std::size_t end = text.find('\n', at);
        const std::string line = text.substr(at + mark.size(), end - at - mark.size());
        if (line.find(" ran.") != std::string::npos) count += std::atoi(line.c_str());
    }
    return count;
}

// The "report: " lines a program prints about the system it ran on.
void collect_reports(const std::string& text, std::vector<std::string>& reports) {
    const std::string mark = "report: ";
    for (std::size_t at = 0; (at = text.find(mark, at)) != std::string::npos; at += mark.size()) {
        if (at > 0 && text[at - 1] != '\n') continue;
        std::string line = text.substr(at + mark.size(), text.find('\n', at) - at - mark.size());
        if (!line.empty() && line.back() == '\r') line.pop_back();
        reports.push_back(line);
    }
}

bool wanted(const Check& check, const std::vector<vorlane::host::Argument>& only) {
    if (only.empty()) return true;
    for (const vorlane::host::Argument& name : only)
        if (name.path.wstring() == check.program) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    vorlane::host::restrict_dll_search();
    const std::filesystem::path folder = vorlane::host::running_program().parent_path();
    Output output(folder / L"results.txt");
    std::string error;
    const auto only = vorlane::host::program_arguments(argc, argv, error);
    if (!only) {
        output.line("run-tests: " + error + "\n0 passed, 1 failed");
        return 1;
    }

    std::string why_none;
    const std::string declared = vorlane::host::PluginModule::declared_version(folder / L"vorlane.dll", why_none);
    output.line(std::string("Vorlane test bundle, run-tests ") + VORLANE_VERSION_TEXT);
    output.line("in " + utf8(folder));
    output.line("module: " + (declared.empty() ? "vorlane.dll: " + why_none : declared));
    if (!output.has_file())
        output.line("note: results.txt cannot be written in this folder, so this output is all there is");
    if (GetFileAttributesW(L"C:\\temp") != INVALID_FILE_ATTRIBUTES)
        output.line("note: C:\\temp exists, so every export also writes its diagnostic copies there "
                    "(as000.png, at000.png, ...), replacing copies of those names from earlier exports");

    const std::filesystem::path scratch = make_scratch_folder();
    if (scratch.empty()) {
        output.line("cannot make a scratch folder under the temporary folder\n0 passed, 1 failed");
        return 1;
    }
    SetEnvironmentVariableW(L"TMP", scratch.c_str());
    SetEnvironmentVariableW(L"TEMP", scratch.c_str());

    std::vector<std::string> verdicts;
    std::vector<std::string> reports;
    int passed = 0;
    int failed = 0;
    int test_cases = 0;
    int test_programs = 0;
    // Runs one program; what went wrong, if anything, after its name and time.
    const auto run_check = [&](const Check& check, std::string& trouble) {
        const std::string name = utf8(check.program);
        const std::wstring arguments = arguments_for(check, scratch, folder);
        output.line("\n== " + name + " " + utf8(arguments) + "\n   " + check.what);
        const ULONGLONG start = GetTickCount64();
        DWORD exit_code = 0;
        std::string captured;
        const bool ran = run(folder, arguments, check.program, output, captured, exit_code, trouble);
        if (ran && exit_code != check.exit_code)
            trouble = "exit code " + std::to_string(exit_code) + ", want " + std::to_string(check.exit_code);
        const int cases = test_cases_in(captured);
        test_cases += cases;
        test_programs += cases > 0;
        collect_reports(captured, reports);
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f s", double(GetTickCount64() - start) / 1000);
        return name + " (" + seconds + ")" + (trouble.empty() ? "" : ": " + trouble);
    };
    for (const Check& check : kChecks) {
        if (!wanted(check, *only)) continue;
        std::string trouble;
        const std::string done = run_check(check, trouble);
        const std::string verdict = (trouble.empty() ? "passed  " : "FAILED  ") + done;
        output.line(verdict);
        verdicts.push_back(verdict);
        ++(trouble.empty() ? passed : failed);
    }
    for (const Check& measurement : kMeasurements) {
        if (!wanted(measurement, *only)) continue;
        std::string trouble;
        const std::string done = run_check(measurement, trouble);
        output.line((trouble.empty() ? "measured  " : "not measured  ") + done);
        if (!trouble.empty()) reports.push_back("not measured: " + done);
    }

    std::error_code ec;
    std::filesystem::remove_all(scratch, ec);

    output.line("\nLeft out here, and why:");
    for (const char* reason : kLeftOut) output.line(std::string("  - ") + reason);
    output.line("\nThis system:");
    for (const std::string& line : vorlane::test::system_report()) output.line("  " + line);
    for (const std::string& line : reports) output.line("  " + line);
    output.line("\nVerdicts:");
    for (const std::string& verdict : verdicts) output.line("  " + verdict);
    if (output.has_file())
        output.line("Send back results.txt and results-demo.png from " + utf8(folder) + ".");
    output.line(std::to_string(test_cases) + " test cases ran in " + std::to_string(test_programs) + " test program" +
                (test_programs == 1 ? "." : "s."));
    output.line(std::to_string(passed) + " passed, " + std::to_string(failed) + " failed");
    // Started by a double click, the console would close with the verdicts.
    DWORD processes[2];
    DWORD mode = 0;
    if (GetConsoleProcessList(processes, 2) == 1 && GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) {
        vorlane::host::print(stdout, "Press Enter to close this window.\n");
        std::getchar();
    }
    return failed == 0 ? 0 : 1;
}
