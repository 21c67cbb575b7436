// The real module, loaded as the host loads it, with its import table
// pointed at the stubs below: each counts its calls, fails the planned one
// the way the service reports failure, and otherwise calls the real
// function, keeping note of what was acquired and released. The memory
// stream's methods are not imports, so the stream the module gets is a
// wrapper around the real one.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstring>
#include <cwchar>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "file_checks.h"
#include "import_redirect.h"
#include "platform_faults.h"
#include "plugin_module.h"
#include "test_support.h"

namespace vorlane::robust::faults {
namespace {

namespace gp = Gdiplus;
namespace flat = Gdiplus::DllExports;

using plan::fails;

// What the export acquired and has not released yet.
struct Resources {
    bool recording = false;
    bool inside_save = false;  // GDI+ writing into the stream: not the module's calls
    std::map<HANDLE, Target> files;
    std::set<HGLOBAL> blocks;
    std::set<gp::GpBitmap*> bitmaps;
    std::set<ULONG_PTR> services;
    int streams = 0;
};
Resources held;

// The diagnostic folder itself, or a file in it.
bool is_diagnostic(const wchar_t* path) {
    return path && std::wcsstr(path, L"C:/temp") != nullptr;
}

Target target_of(HANDLE file) {
    const auto it = held.files.find(file);
    return it == held.files.end() ? Target::Other : it->second;
}

struct Real {
    decltype(&::CreateFileW) CreateFileW;
    decltype(&::WriteFile) WriteFile;
    decltype(&::SetFilePointerEx) SetFilePointerEx;
    decltype(&::CloseHandle) CloseHandle;
    decltype(&::MoveFileExW) MoveFileExW;
    decltype(&::GlobalAlloc) GlobalAlloc;
    decltype(&::GlobalFree) GlobalFree;
    decltype(&::CreateStreamOnHGlobal) CreateStreamOnHGlobal;
    decltype(&gp::GdiplusStartup) GdiplusStartup;
    decltype(&gp::GdiplusShutdown) GdiplusShutdown;
    decltype(&flat::GdipCreateBitmapFromScan0) GdipCreateBitmapFromScan0;
    decltype(&flat::GdipGetImageEncodersSize) GdipGetImageEncodersSize;
    decltype(&flat::GdipGetImageEncoders) GdipGetImageEncoders;
    decltype(&flat::GdipSaveImageToFile) GdipSaveImageToFile;
    decltype(&flat::GdipSaveImageToStream) GdipSaveImageToStream;
    decltype(&flat::GdipDisposeImage) GdipDisposeImage;
};
Real real;

// Forwards everything to the real stream; the module's own Seek and Read
// calls may fail.
class SweptStream final : public IStream {
public:
    explicit SweptStream(IStream* inner) : inner_(inner) { ++held.streams; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            inner_->Release();
            --held.streams;
            delete this;
        }
        return left;
    }
    // A short read: one byte less than asked, and success.
    HRESULT STDMETHODCALLTYPE Read(void* data, ULONG size, ULONG* read) override {
        if (!held.inside_save && fails("IStream::Read")) return inner_->Read(data, size > 0 ? size - 1 : 0, read);
        return inner_->Read(data, size, read);
    }
    // Moves, then reports failure: only the status can tell.
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
        const bool fail = !held.inside_save && fails("IStream::Seek");
        const HRESULT result = inner_->Seek(move, origin, position);
        return fail ? STG_E_INVALIDFUNCTION : result;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) override {
        return inner_->Write(data, size, written);
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override { return inner_->SetSize(size); }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* to, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override {
        return inner_->CopyTo(to, size, read, written);
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override { return inner_->Commit(flags); }
    HRESULT STDMETHODCALLTYPE Revert() override { return inner_->Revert(); }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) override {
        return inner_->LockRegion(offset, size, type);
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) override {
        return inner_->UnlockRegion(offset, size, type);
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override { return inner_->Stat(stat, flags); }
    HRESULT STDMETHODCALLTYPE Clone(IStream** out) override { return inner_->Clone(out); }

private:
    IStream* inner_;
    ULONG references_ = 1;
};

HANDLE WINAPI swept_CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE template_file) {
    const Target target = plan::is_output_path(path) ? Target::OutputFile
                          : is_diagnostic(path)          ? Target::DiagnosticCopy
                                                         : Target::Other;
    if (fails("CreateFileW", target)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE file = real.CreateFileW(path, access, share, security, disposition, flags, template_file);
    if (file != INVALID_HANDLE_VALUE && held.recording) held.files[file] = target;
    return file;
}

BOOL WINAPI swept_WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    const Target target = target_of(file);
    if (fails("WriteFile", target)) {
        if (written) *written = 0;
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    if (plan::takes_nothing("WriteFile, taking nothing", reinterpret_cast<std::intptr_t>(file), target)) {
        if (written) *written = 0;
        return TRUE;
    }
    return real.WriteFile(file, data, size, written, overlapped);
}

BOOL WINAPI swept_SetFilePointerEx(HANDLE file, LARGE_INTEGER move, PLARGE_INTEGER position, DWORD method) {
    if (fails("SetFilePointerEx", target_of(file))) {
        SetLastError(ERROR_NETNAME_DELETED);
        return FALSE;
    }
    return real.SetFilePointerEx(file, move, position, method);
}

// A write the system delayed and lost shows only here; the handle is gone
// all the same.
BOOL WINAPI swept_CloseHandle(HANDLE object) {
    const bool fail = fails("CloseHandle", target_of(object));
    const BOOL closed = real.CloseHandle(object);
    held.files.erase(object);
    plan::closed(reinterpret_cast<std::intptr_t>(object));
    if (!fail) return closed;
    SetLastError(ERROR_UNEXP_NET_ERR);
    return FALSE;
}

BOOL WINAPI swept_MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    if (fails("MoveFileExW", is_diagnostic(to) ? Target::DiagnosticCopy : Target::Other)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return real.MoveFileExW(from, to, flags);
}

HGLOBAL WINAPI swept_GlobalAlloc(UINT flags, SIZE_T size) {
    if (fails("GlobalAlloc")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const HGLOBAL block = real.GlobalAlloc(flags, size);
    if (block && held.recording) held.blocks.insert(block);
    return block;
}

HGLOBAL WINAPI swept_GlobalFree(HGLOBAL block) {
    held.blocks.erase(block);
    return real.GlobalFree(block);
}

HRESULT WINAPI swept_CreateStreamOnHGlobal(HGLOBAL memory, BOOL delete_on_release, LPSTREAM* stream) {
    if (fails("CreateStreamOnHGlobal")) {
        if (stream) *stream = nullptr;
        return E_OUTOFMEMORY;
    }
    const HRESULT result = real.CreateStreamOnHGlobal(memory, delete_on_release, stream);
    if (SUCCEEDED(result) && stream && *stream && held.recording) *stream = new SweptStream(*stream);
    return result;
}

gp::Status WINAPI swept_GdiplusStartup(ULONG_PTR* token, const gp::GdiplusStartupInput* input,
                                       gp::GdiplusStartupOutput* output) {
    if (fails("GdiplusStartup")) return gp::GenericError;
    const gp::Status status = real.GdiplusStartup(token, input, output);
    if (status == gp::Ok && held.recording) held.services.insert(*token);
    return status;
}

void WINAPI swept_GdiplusShutdown(ULONG_PTR token) {
    held.services.erase(token);
    real.GdiplusShutdown(token);
}

gp::GpStatus WINGDIPAPI swept_GdipCreateBitmapFromScan0(INT width, INT height, INT stride, gp::PixelFormat format,
                                                        BYTE* pixels, gp::GpBitmap** bitmap) {
    if (fails("GdipCreateBitmapFromScan0")) {
        if (bitmap) *bitmap = nullptr;
        return gp::OutOfMemory;
    }
    const gp::GpStatus status = real.GdipCreateBitmapFromScan0(width, height, stride, format, pixels, bitmap);
    if (status == gp::Ok && held.recording) held.bitmaps.insert(*bitmap);
    return status;
}

gp::GpStatus WINGDIPAPI swept_GdipDisposeImage(gp::GpImage* image) {
    held.bitmaps.erase(static_cast<gp::GpBitmap*>(image));
    return real.GdipDisposeImage(image);
}

// Sizes that look right with a failure status: only the status can tell.
gp::GpStatus WINGDIPAPI swept_GdipGetImageEncodersSize(UINT* count, UINT* size) {
    const bool fail = fails("GdipGetImageEncodersSize");
    const gp::GpStatus status = real.GdipGetImageEncodersSize(count, size);
    return fail ? gp::GenericError : status;
}

// The descriptions are undefined after a failure: here, pointers to nowhere.
gp::GpStatus WINGDIPAPI swept_GdipGetImageEncoders(UINT count, UINT size, gp::ImageCodecInfo* encoders) {
    if (fails("GdipGetImageEncoders")) {
        std::memset(encoders, 0xCD, size);
        return gp::GenericError;
    }
    return real.GdipGetImageEncoders(count, size, encoders);
}

gp::GpStatus WINGDIPAPI swept_GdipSaveImageToFile(gp::GpImage* image, const WCHAR* path, const CLSID* encoder,
                                                  const gp::EncoderParameters* parameters) {
    if (fails("GdipSaveImageToFile", Target::DiagnosticCopy)) return gp::GenericError;
    return real.GdipSaveImageToFile(image, path, encoder, parameters);
}

// Fails after the encoder has filled the stream: only the status can tell.
gp::GpStatus WINGDIPAPI swept_GdipSaveImageToStream(gp::GpImage* image, IStream* stream, const CLSID* encoder,
                                                    const gp::EncoderParameters* parameters) {
    const bool fail = fails("GdipSaveImageToStream");
    held.inside_save = true;
    const gp::GpStatus status = real.GdipSaveImageToStream(image, stream, encoder, parameters);
    held.inside_save = false;
    return fail ? gp::Win32Error : status;
}

std::unique_ptr<host::PluginModule> module;
bool made_diagnostic_folder = false;

template <typename Fn>
bool redirect(const char* dll, const char* function, Fn replacement, Fn& original) {
    return test::redirect_import(static_cast<HMODULE>(module->instance()), dll, function, replacement, original);
}

}  // namespace

std::string install() {
    if (!module) {
        std::string error;
        module = host::PluginModule::load(module_path(), error);
        if (!module) return error;
        const bool all =
            redirect("kernel32.dll", "CreateFileW", swept_CreateFileW, real.CreateFileW) &&
            redirect("kernel32.dll", "WriteFile", swept_WriteFile, real.WriteFile) &&
            redirect("kernel32.dll", "SetFilePointerEx", swept_SetFilePointerEx, real.SetFilePointerEx) &&
            redirect("kernel32.dll", "CloseHandle", swept_CloseHandle, real.CloseHandle) &&
            redirect("kernel32.dll", "MoveFileExW", swept_MoveFileExW, real.MoveFileExW) &&
            redirect("kernel32.dll", "GlobalAlloc", swept_GlobalAlloc, real.GlobalAlloc) &&
            redirect("kernel32.dll", "GlobalFree", swept_GlobalFree, real.GlobalFree) &&
            redirect("ole32.dll", "CreateStreamOnHGlobal", swept_CreateStreamOnHGlobal, real.CreateStreamOnHGlobal) &&
            redirect("gdiplus.dll", "GdiplusStartup", swept_GdiplusStartup, real.GdiplusStartup) &&
            redirect("gdiplus.dll", "GdiplusShutdown", swept_GdiplusShutdown, real.GdiplusShutdown) &&
            redirect("gdiplus.dll", "GdipCreateBitmapFromScan0", swept_GdipCreateBitmapFromScan0,
                     real.GdipCreateBitmapFromScan0) &&
            redirect("gdiplus.dll", "GdipGetImageEncodersSize", swept_GdipGetImageEncodersSize,
                     real.GdipGetImageEncodersSize) &&
            redirect("gdiplus.dll", "GdipGetImageEncoders", swept_GdipGetImageEncoders, real.GdipGetImageEncoders) &&
            redirect("gdiplus.dll", "GdipSaveImageToFile", swept_GdipSaveImageToFile, real.GdipSaveImageToFile) &&
            redirect("gdiplus.dll", "GdipSaveImageToStream", swept_GdipSaveImageToStream, real.GdipSaveImageToStream) &&
            redirect("gdiplus.dll", "GdipDisposeImage", swept_GdipDisposeImage, real.GdipDisposeImage);
        if (!all) return "the module does not import every function the sweep redirects";
    }
    // The diagnostic copies' folder, so that their calls are made too.
    made_diagnostic_folder = test::make_diagnostic_folder();
    return made_diagnostic_folder || GetLastError() == ERROR_ALREADY_EXISTS ? "" : "cannot make C:\\temp";
}

void uninstall() {
    if (made_diagnostic_folder) test::remove_diagnostic_folder(3);
    made_diagnostic_folder = false;
}

const std::vector<Function>& functions() {
    static const std::vector<Function> list = {
        {"CreateFileW", "`INVALID_HANDLE_VALUE`, `ERROR_ACCESS_DENIED`"},
        {"WriteFile", "`FALSE`, `ERROR_DISK_FULL`, nothing written"},
        {"WriteFile, taking nothing", "`TRUE`, nothing written, and so on for that file"},
        {"SetFilePointerEx", "`FALSE`, `ERROR_NETNAME_DELETED`"},
        {"CloseHandle", "`FALSE`, `ERROR_UNEXP_NET_ERR` (handle closed)"},
        {"MoveFileExW", "`FALSE`, `ERROR_ACCESS_DENIED`"},
        {"GlobalAlloc", "null, `ERROR_NOT_ENOUGH_MEMORY`"},
        {"GdiplusStartup", "`GenericError`, no token", false},
        {"GdipCreateBitmapFromScan0", "`OutOfMemory`, no bitmap"},
        {"GdipGetImageEncodersSize", "`GenericError` (sizes filled in anyway)"},
        {"GdipGetImageEncoders", "`GenericError`, descriptions garbage"},
        {"CreateStreamOnHGlobal", "`E_OUTOFMEMORY`, no stream"},
        {"GdipSaveImageToFile", "`GenericError`"},
        {"GdipSaveImageToStream", "`Win32Error` (after filling the stream)"},
        {"IStream::Seek", "`STG_E_INVALIDFUNCTION` (after moving)"},
        {"IStream::Read", "`S_OK`, one byte short"},
    };
    return list;
}

Outcome run_export(const host::HostScript& script, host::HostLog& log, const std::string& function, int call) {
    held = Resources{};
    held.recording = true;
    Outcome outcome = plan::run(script, log, function, call, [](OutputRequest* request) {
        return module->table()->on_output(request);
    });
    held.recording = false;
    const auto note = [&](std::size_t n, const char* what) {
        if (n != 0) outcome.unreleased.push_back(std::to_string(n) + " " + what);
    };
    note(held.files.size(), "file handles");
    note(held.blocks.size(), "memory blocks");
    note(held.bitmaps.size(), "bitmaps");
    note(std::size_t(held.streams), "streams");
    note(held.services.size(), "GDI+ sessions");
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(test::kDiagnosticFolder, error))
        if (entry.path().extension() == L".tmp") outcome.unreleased.push_back("temporary copy " + entry.path().string());
    return outcome;
}

}  // namespace vorlane::robust::faults
