#pragma once
// Windows only. version.dll is no KnownDLL: a static import of it would be
// looked for in the program's own folder first, before main runs, where
// anyone who could drop a file may have left one. So its functions are
// taken from the copy in System32, for as long as this object lives.
#include <windows.h>

namespace vorlane::host {

class VersionDll {
public:
    VersionDll() : module_(LoadLibraryExW(L"version.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        if (!module_) return;
        size = function<decltype(size)>("GetFileVersionInfoSizeW");
        read = function<decltype(read)>("GetFileVersionInfoW");
        query = function<decltype(query)>("VerQueryValueW");
    }
    VersionDll(const VersionDll&) = delete;
    VersionDll& operator=(const VersionDll&) = delete;
    ~VersionDll() {
        if (module_) FreeLibrary(module_);
    }
    explicit operator bool() const { return size && read && query; }

    decltype(&GetFileVersionInfoSizeW) size = nullptr;
    decltype(&GetFileVersionInfoW) read = nullptr;
    decltype(&VerQueryValueW) query = nullptr;

private:
    template <typename Fn>
    Fn function(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    HMODULE module_;
};

}  // namespace vorlane::host
