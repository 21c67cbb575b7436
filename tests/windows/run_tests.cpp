// run-tests.exe, the one command of the Windows test bundle: runs each test
// program beside it that needs nothing but Windows, prints each verdict and
// what the bundle leaves out, then "N passed, N failed", and exits 0 only
// when every program passed. Scratch files go to a folder of its own under
// the user's temporary folder (the programs inherit it as TMP), removed at
// the end whatever the programs left.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "plugin_module.h"

namespace {

struct Check {
    const wchar_t* program;
    const wchar_t* arguments;  // "{scratch}" stands for the scratch folder
    DWORD exit_code;           // what passing looks like
    const char* what;
};

constexpr Check kChecks[] = {
    {L"windows_export_test.exe", L"", 0,
     "exports through the module, decoded pixel for pixel, with the encoder's own PNG layout and the two that "
     "GDI+ on Windows writes; the version resource"},
    {L"windows_converter_test.exe", L"", 0, "the conversion as this build compiles it, on every CPU path"},
    {L"windows_bad_request_test.exe", L"", 0, "bad requests through the module, the host's buffers guarded"},
    {L"windows_fault_sweep_test.exe", L"", 0, "every platform call of an export failing in turn"},
    {L"windows_dialog_test.exe", L"--gtest_filter=DialogTemplate.*:DialogOnDisplay.*", 0,
     "the settings dialog on this desktop"},
    {L"vorlane-host.exe",
     L"-q -n 300 -W 64 -H 36 --repeat 3 --fail-on-growth --memory-tolerance 65536 -o {scratch}\\repeated.png", 0,
     "handles and memory over three exports in one process"},
    {L"vorlane-host.exe",
     L"-q -n 300 -W 64 -H 36 --repeat 3 --fail-on-growth --memory-tolerance 65536 -o {scratch}\\leak.png "
     L"--leak-for-test",
     3, "the same with a leak planted on purpose: the check must see it (exit code 3)"},
};

constexpr const char* kLeftOut[] = {
    "the dialog where no display exists: Windows always has a desktop (the Wine suite runs it without one)",
    "a disk that fills up: made in the Wine suite by a file-size limit on the Linux process",
    "the module's import, export and TLS tables and where its AVX instructions lie: objdump on the build machine",
    "the licence notices against what is linked, and the release archive: checked on the build machine",
    "pngcheck and Pillow as second opinions on every file: Linux programs (here the tests' own decoder checks it)",
};

// A program that hangs (a dialog nobody closes) fails instead of holding up the run.
constexpr DWORD kTimeLimitMs = 10 * 60 * 1000;

std::wstring program_folder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n < path.size()) return std::filesystem::path(path.substr(0, n)).parent_path().wstring();
        path.resize(path.size() * 2);
    }
}

// The scratch folder is named in ASCII (the short name of the temporary
// folder where its long one is not), since vorlane-host takes its paths
// through the narrow command line.
std::wstring make_scratch_folder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    std::wstring folder(buffer, GetTempPathW(MAX_PATH + 1, buffer));
    wchar_t short_name[MAX_PATH + 1] = {};
    const DWORD n = GetShortPathNameW(folder.c_str(), short_name, MAX_PATH + 1);
    if (n > 0 && n <= MAX_PATH) folder.assign(short_name, n);
    folder += L"vorlane-tests-" + std::to_wstring(GetCurrentProcessId());
    return CreateDirectoryW(folder.c_str(), nullptr) ? folder : std::wstring();
}

std::string narrow(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring with_scratch(std::wstring arguments, const std::wstring& scratch) {
    const std::wstring mark = L"{scratch}";
    for (std::size_t at; (at = arguments.find(mark)) != std::wstring::npos;) arguments.replace(at, mark.size(), scratch);
    return arguments;
}

// Runs one program with this console's standard handles; its exit code, or
// a description of why it has none.
bool run(const std::wstring& folder, const Check& check, const std::wstring& scratch, DWORD& exit_code,
         std::string& trouble) {
    const std::wstring program = folder + L"\\" + check.program;
    std::wstring command = L"\"" + program + L"\" " + with_scratch(check.arguments, scratch);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &startup,
                        &process)) {
        trouble = "cannot be started (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    CloseHandle(process.hThread);
    const bool ended = WaitForSingleObject(process.hProcess, kTimeLimitMs) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
        trouble = "did not end within " + std::to_string(kTimeLimitMs / 60000) + " minutes";
    }
    GetExitCodeProcess(process.hProcess, &exit_code);
    CloseHandle(process.hProcess);
    return ended;
}

}  // namespace

int main() {
    const std::wstring folder = program_folder();
    const std::string module = narrow(folder + L"\\vorlane.dll");
    const std::string declared = vorlane::host::PluginModule::declared_version(module);
    std::printf("Vorlane test bundle in %s\nmodule: %s\n", narrow(folder).c_str(),
                declared.empty() ? "no vorlane.dll with version information here" : declared.c_str());
    if (GetFileAttributesW(L"C:\\temp") != INVALID_FILE_ATTRIBUTES)
        std::printf("note: C:\\temp exists, so every export also writes its diagnostic copies there "
                    "(as000.png, at000.png, ...), replacing files of those names\n");

    const std::wstring scratch = make_scratch_folder();
    if (scratch.empty()) {
        std::printf("cannot make a scratch folder under the temporary folder\n0 passed, 1 failed\n");
        return 1;
    }
    SetEnvironmentVariableW(L"TMP", scratch.c_str());
    SetEnvironmentVariableW(L"TEMP", scratch.c_str());

    std::vector<std::string> verdicts;
    int passed = 0;
    int failed = 0;
    for (const Check& check : kChecks) {
        const std::string name = narrow(check.program);
        std::printf("\n== %s %s\n   %s\n", name.c_str(), narrow(with_scratch(check.arguments, scratch)).c_str(),
                    check.what);
        std::fflush(stdout);
        const ULONGLONG start = GetTickCount64();
        DWORD exit_code = 0;
        std::string trouble;
        const bool ran = run(folder, check, scratch, exit_code, trouble);
        if (ran && exit_code != check.exit_code)
            trouble = "exit code " + std::to_string(exit_code) + ", want " + std::to_string(check.exit_code);
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f s", double(GetTickCount64() - start) / 1000);
        std::string verdict = (trouble.empty() ? "passed  " : "FAILED  ") + name + " (" + seconds + ")";
        if (!trouble.empty()) verdict += ": " + trouble;
        std::printf("%s\n", verdict.c_str());
        verdicts.push_back(verdict);
        ++(trouble.empty() ? passed : failed);
    }

    std::error_code ec;
    std::filesystem::remove_all(scratch, ec);

    std::printf("\nLeft out here, and why:\n");
    for (const char* reason : kLeftOut) std::printf("  - %s\n", reason);
    std::printf("\nVerdicts:\n");
    for (const std::string& verdict : verdicts) std::printf("  %s\n", verdict.c_str());
    std::printf("%d passed, %d failed\n", passed, failed);
    // Started by a double click, the console would close with the verdicts.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1) {
        std::printf("Press Enter to close this window.\n");
        std::getchar();
    }
    return failed == 0 ? 0 : 1;
}
