#pragma once
// Points a loaded module's import of one function at a replacement, as the
// loader would have bound it, so that a test stands between the module and
// the platform.
#include <windows.h>

namespace vorlane::test {

// Returns what the module's import slot held (the real function); null when
// the module does not import `function` from `dll`.
void* redirect_import(HMODULE module, const char* dll, const char* function, void* replacement);

template <typename Fn>
bool redirect_import(HMODULE module, const char* dll, const char* function, Fn replacement, Fn& original) {
    original = reinterpret_cast<Fn>(redirect_import(module, dll, function, reinterpret_cast<void*>(replacement)));
    return original != nullptr;
}

}  // namespace vorlane::test
