// The settings dialog of the real module: its template as built into the
// DLL, and the dialog itself on the desktop at hand (under Wine, an X
// server's), driven from a second thread.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <utility>

#include <gtest/gtest.h>

#include "console.h"
#include "demo_pixels.h"
#include "test_support.h"

namespace vorlane::test {
namespace {

const wchar_t kTitle[] = L"Vorlaneの設定";
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_TABSTOP;

// Reads the classic template field by field, as the dialog manager does.
class TemplateReader {
public:
    TemplateReader(const std::uint8_t* p, std::size_t size) : p_(p), end_(p + size) {}
    std::uint16_t word() {
        std::uint16_t v = 0;
        if (end_ - p_ >= 2) std::memcpy(&v, p_, 2);
        p_ += 2;
        return v;
    }
    std::uint32_t dword() {
        const std::uint32_t low = word();
        return low | std::uint32_t(word()) << 16;
    }
    std::u16string text() {
        std::u16string s;
        while (p_ < end_)
            if (const char16_t c = word()) s.push_back(c); else break;
        return s;
    }
    void align4(const std::uint8_t* base) {
        while ((p_ - base) % 4) ++p_;
    }
    bool inside() const { return p_ <= end_; }

private:
    const std::uint8_t* p_;
    const std::uint8_t* end_;
};

TEST(DialogTemplate, IsBuiltIntoTheModuleAsTabled) {
    const auto module = load_module();
    ASSERT_TRUE(module);
    const HMODULE instance = static_cast<HMODULE>(module->instance());
    const HRSRC found =
        FindResourceExW(instance, RT_DIALOG, L"CONFIG", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_TRUE(found) << "no dialog CONFIG in language 1033";
    const auto* base = static_cast<const std::uint8_t*>(LockResource(LoadResource(instance, found)));
    ASSERT_TRUE(base);
    TemplateReader t(base, SizeofResource(instance, found));

    EXPECT_EQ(t.dword(), 0x90C800C4u) << "style";  // also rules out the extended form, which starts 1, 0xFFFF
    EXPECT_EQ(t.dword(), 0u) << "extended style";
    ASSERT_EQ(t.word(), 3u) << "controls";
    EXPECT_EQ(t.word(), 0u);
    EXPECT_EQ(t.word(), 0u);
    EXPECT_EQ(t.word(), 128u);
    EXPECT_EQ(t.word(), 96u);
    EXPECT_EQ(t.word(), 0u) << "no menu";
    EXPECT_EQ(t.word(), 0u) << "default class";
    EXPECT_EQ(t.text(), u"Vorlaneの設定");
    EXPECT_EQ(t.word(), 9u) << "point size";
    EXPECT_EQ(t.text(), u"メイリオ");

    struct Item {
        DWORD style;
        std::int16_t x, y, cx, cy;
        std::uint16_t id;
        std::u16string text;
    };
    const Item items[] = {
        {kChild | BS_AUTOCHECKBOX, 8, 20, 112, 16, 101, u"RGBをAで割る"},
        {kChild | BS_PUSHBUTTON | BS_CENTER, 8, 56, 52, 16, IDOK, u"OK"},
        {kChild | BS_PUSHBUTTON | BS_CENTER, 68, 56, 52, 16, IDCANCEL, u"Cancel"},
    };
    for (const Item& want : items) {
        t.align4(base);
        EXPECT_EQ(t.dword(), want.style) << want.id;
        EXPECT_EQ(t.dword(), 0u) << "extended style of " << want.id;
        EXPECT_EQ(std::int16_t(t.word()), want.x);
        EXPECT_EQ(std::int16_t(t.word()), want.y);
        EXPECT_EQ(std::int16_t(t.word()), want.cx);
        EXPECT_EQ(std::int16_t(t.word()), want.cy);
        EXPECT_EQ(t.word(), want.id);
        EXPECT_EQ(t.word(), 0xFFFFu) << "class given as an atom";
        EXPECT_EQ(t.word(), 0x0080u) << "the BUTTON atom";
        EXPECT_EQ(t.text(), want.text);
        EXPECT_EQ(t.word(), 0u) << "no creation data";
    }
    EXPECT_TRUE(t.inside());
}

std::wstring window_text(HWND window) {
    wchar_t buffer[256] = {};
    GetWindowTextW(window, buffer, 256);
    return buffer;
}

std::wstring class_name(HWND window) {
    wchar_t buffer[256] = {};
    GetClassNameW(window, buffer, 256);
    return buffer;
}

// A thread that runs `body` and is joined on destruction: Win32, because the
// toolchain's win32-threads flavour has no std::thread. Every wait of a
// driver is bounded, so one that has not ended within a minute is stuck, and
// the program ends rather than hang.
class DriverThread {
public:
    explicit DriverThread(std::function<void()> body)
        : body_(std::move(body)), handle_(CreateThread(nullptr, 0, &run, this, 0, nullptr)) {}
    ~DriverThread() {
        if (!handle_) return;
        if (WaitForSingleObject(handle_, 60000) != WAIT_OBJECT_0) {
            std::printf("the dialog's driver is stuck: ending the program\n");
            std::fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        CloseHandle(handle_);
    }
    DriverThread(const DriverThread&) = delete;
    DriverThread& operator=(const DriverThread&) = delete;
    bool started() const { return handle_ != nullptr; }

private:
    static DWORD WINAPI run(void* self) {
        static_cast<DriverThread*>(self)->body_();
        return 0;
    }
    std::function<void()> body_;
    HANDLE handle_;
};

// What the dialog asks of the dialog manager as it opens, seen from the
// thread that runs it: WM_INITDIALOG's wParam is the first tab stop, and the
// system gives it the focus only when the dialog procedure answers TRUE. That
// holds whether or not the dialog ever becomes the active window; the focus
// itself may be given only on activation, which a program in the background
// may be refused.
struct InitDialog {
    bool seen = false;
    bool focuses_box = false;
};
InitDialog g_init_dialog;

LRESULT CALLBACK watch_init(int code, WPARAM wparam, LPARAM lparam) {
    const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
    if (code == HC_ACTION && message->message == WM_INITDIALOG && !g_init_dialog.seen &&
        window_text(message->hwnd) == kTitle) {
        g_init_dialog.seen = true;
        const HWND box = GetDlgItem(message->hwnd, 101);
        g_init_dialog.focuses_box =
            message->lResult && box && reinterpret_cast<HWND>(message->wParam) == box && IsWindowEnabled(box);
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

// The focus as the dialog's thread holds it: focus is kept per thread, and
// GetGUIThreadInfo reads another thread's. Once the dialog is the active
// window of its thread, the dialog manager has put the focus on the first tab
// stop (or where it was); until then it may have none. Windows activates the
// dialog only if its process may take the foreground, so behind a console
// that keeps it (a hosted runner's) it may stay inactive: then nothing can be
// checked, and the test says so instead.
void expect_box_focused(HWND dialog) {
    const DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
    const HWND box = GetDlgItem(dialog, 101);
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    // Activation follows the showing on the dialog's thread: a moment's grace.
    for (int tries = 0; tries < 40; ++tries) {
        if (!GetGUIThreadInfo(thread, &gui)) {
            ADD_FAILURE() << "GetGUIThreadInfo failed";
            return;
        }
        if (gui.hwndActive == dialog && gui.hwndFocus == box) break;
        Sleep(50);
    }
    if (gui.hwndActive != dialog) {
        std::printf("report: dialog focus: not checked here, since the dialog never became the active window of "
                    "its thread (another program keeps the foreground); what it asks for as it opens was checked\n");
        std::fflush(stdout);
        return;
    }
    EXPECT_EQ(gui.hwndFocus, box) << "the first tab stop has the focus";
}

// A message to the dialog's thread that cannot hang the driver: a dialog
// that stops answering fails the step instead.
bool send(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 5000, &ignored) != 0;
}

// What a click on the control does, told to the dialog directly: an
// automatic check box flips, and the dialog hears BN_CLICKED. BM_CLICK would
// go through the mouse, which Windows may refuse to a dialog that is not the
// active window (a console in front, say).
void click(HWND dialog, int id) {
    const HWND control = GetDlgItem(dialog, id);
    if (!control) {
        ADD_FAILURE() << "the dialog has no control " << id;
        return;
    }
    if ((GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
        const bool checked = IsDlgButtonChecked(dialog, id) == BST_CHECKED;
        EXPECT_TRUE(send(control, BM_SETCHECK, checked ? BST_UNCHECKED : BST_CHECKED, 0));
    }
    EXPECT_TRUE(send(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(control)));
}

// The dialog is ready once it shows: a dialog with WS_VISIBLE is shown after
// WM_INITDIALOG, when its controls exist and the box has its state.
HWND wait_for_dialog() {
    for (int tries = 0; tries < 600; ++tries) {
        const HWND dialog = FindWindowW(nullptr, kTitle);
        if (dialog && IsWindowVisible(dialog)) return dialog;
        Sleep(50);
    }
    return nullptr;
}

bool gone_within(HWND dialog, int milliseconds) {
    for (int waited = 0; IsWindow(dialog); waited += 50) {
        if (waited >= milliseconds) return false;
        Sleep(50);
    }
    return true;
}

// The font the dialog was given, asked for and as the system realised it.
void report_font(HWND dialog) {
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(dialog, WM_GETFONT, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer);
    const auto font = reinterpret_cast<HFONT>(answer);
    LOGFONTW asked{};
    if (!font || !GetObjectW(font, sizeof asked, &asked)) return;
    wchar_t given[LF_FACESIZE] = {};
    if (const HDC dc = GetDC(dialog)) {
        const HGDIOBJ old = SelectObject(dc, font);
        GetTextFaceW(dc, LF_FACESIZE, given);
        SelectObject(dc, old);
        ReleaseDC(dialog, dc);
    }
    std::printf("report: dialog font: %s, %ld px high, drawn with %s\n", host::utf8(asked.lfFaceName).c_str(),
                long(asked.lfHeight < 0 ? -asked.lfHeight : asked.lfHeight), host::utf8(given).c_str());
    std::fflush(stdout);
}

class DialogOnDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = load_module();
        ASSERT_TRUE(module_);
        ASSERT_EQ(config_text(*module_->table()), u"RGBをAで割る: 1");
    }

    // Opens the dialog as the host does and lets `drive` work it from a second
    // thread once it shows. Returns whether it showed. Whatever `drive` did
    // or failed to do, the dialog is closed within seconds: a step that
    // leaves it open fails, and Cancel ends it.
    bool configure(const std::function<void(HWND)>& drive) {
        bool shown = false;
        bool result = false;
        {
            DriverThread driver([&] {
                const HWND dialog = wait_for_dialog();
                if (dialog) {
                    shown = true;
                    drive(dialog);
                }
                // One that never showed may still be there, hidden.
                const HWND open = dialog ? dialog : FindWindowW(nullptr, kTitle);
                if (!open || gone_within(open, 5000)) return;
                ADD_FAILURE() << (dialog ? "the dialog was still open 5 s after the test's last step"
                                         : "the dialog exists but never showed")
                              << ": closing it with Cancel";
                PostMessageW(open, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                if (gone_within(open, 5000)) return;
                // Nothing else could end DialogBoxParamW on the other thread.
                std::printf("the dialog does not close even on Cancel: ending the program\n");
                std::fflush(stdout);
                TerminateProcess(GetCurrentProcess(), 3);
            });
            // Without the driver nothing would close the dialog.
            if (!driver.started()) {
                ADD_FAILURE() << "CreateThread failed";
                return false;
            }
            g_init_dialog = {};
            const HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, watch_init, nullptr, GetCurrentThreadId());
            EXPECT_TRUE(hook);
            result = module_->table()->on_configure(nullptr, module_->instance());
            if (hook) UnhookWindowsHookEx(hook);
        }
        EXPECT_TRUE(result) << "on_configure returns true in every case";
        EXPECT_FALSE(FindWindowW(nullptr, kTitle)) << "the dialog is gone when on_configure returns";
        return shown;
    }

    std::u16string text() const { return config_text(*module_->table()); }

    std::unique_ptr<host::PluginModule> module_;
};

TEST_F(DialogOnDisplay, ShowsTheTabledControlsWithTheBoxTickedAndFocused) {
    ASSERT_TRUE(configure([](HWND dialog) {
        EXPECT_EQ(window_text(dialog), kTitle);
        struct Want {
            int id;
            const wchar_t* text;
            DWORD kind;
        };
        for (const Want& want : {Want{101, L"RGBをAで割る", BS_AUTOCHECKBOX}, Want{IDOK, L"OK", BS_PUSHBUTTON},
                                 Want{IDCANCEL, L"Cancel", BS_PUSHBUTTON}}) {
            const HWND control = GetDlgItem(dialog, want.id);
            ASSERT_TRUE(control) << want.id;
            EXPECT_EQ(_wcsicmp(class_name(control).c_str(), L"Button"), 0) << want.id;
            EXPECT_EQ(window_text(control), want.text) << want.id;
            EXPECT_EQ(GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK, LONG(want.kind)) << want.id;
        }
        EXPECT_EQ(IsDlgButtonChecked(dialog, 101), UINT(BST_CHECKED));
        expect_box_focused(dialog);
        report_font(dialog);
        click(dialog, IDCANCEL);
    }));
    EXPECT_TRUE(g_init_dialog.seen && g_init_dialog.focuses_box)
        << "the dialog asks for the focus on the check box as it opens";
}

TEST_F(DialogOnDisplay, UntickAndOkTurnsDivisionOffForTheNextExport) {
    ASSERT_TRUE(configure([](HWND dialog) {
        click(dialog, 101);
        EXPECT_EQ(IsDlgButtonChecked(dialog, 101), UINT(BST_UNCHECKED));
        click(dialog, IDOK);
    }));
    EXPECT_EQ(text(), u"RGBをAで割る: 0");

    // The next dialog opens with the box clear.
    ASSERT_TRUE(configure([](HWND dialog) {
        EXPECT_EQ(IsDlgButtonChecked(dialog, 101), UINT(BST_UNCHECKED));
        click(dialog, IDCANCEL);
    }));

    const WorkFile out = work_file("undivided.png");
    host::HostScript s;
    s.width = 40;
    s.height = 24;
    s.frame_count = 2;
    s.output_path = out.host_path();
    host::HostLog log;
    ASSERT_TRUE(host::run_export(*module_->table(), s, log));
    const DecodedApng decoded = decode(out.path);
    ASSERT_TRUE(decoded.error.empty() && decoded.frames.size() == 2) << decoded.error;
    for (std::int32_t i = 0; i < 2; ++i) {
        const auto undivided = expected_rgba(s, i, false);
        EXPECT_TRUE(decoded.frames[std::size_t(i)].rgba == undivided) << i;
        // Guards the check itself: the demo's soft edges differ when divided.
        EXPECT_FALSE(undivided == expected_rgba(s, i));
    }
}

TEST_F(DialogOnDisplay, CancelEscAndTheCloseBoxKeepTheSetting) {
    const std::function<void(HWND)> dismissals[] = {
        [](HWND dialog) { click(dialog, IDCANCEL); },
        [](HWND dialog) { PostMessageW(GetDlgItem(dialog, 101), WM_KEYDOWN, VK_ESCAPE, 0); },
        [](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); },
    };
    for (const auto& dismiss : dismissals) {
        ASSERT_TRUE(configure([&](HWND dialog) {
            click(dialog, 101);
            ASSERT_EQ(IsDlgButtonChecked(dialog, 101), UINT(BST_UNCHECKED));
            dismiss(dialog);
        }));
        EXPECT_EQ(text(), u"RGBをAで割る: 1");
    }
}

TEST_F(DialogOnDisplay, ClickingTheBoxAloneChangesNothing) {
    ASSERT_TRUE(configure([this](HWND dialog) {
        click(dialog, 101);
        EXPECT_TRUE(IsWindow(dialog)) << "the box does not end the dialog";
        EXPECT_EQ(text(), u"RGBをAで割る: 1");
        click(dialog, IDCANCEL);
    }));
    EXPECT_EQ(text(), u"RGBをAで割る: 1");
}

TEST(DialogWithoutDisplay, ConfigureReturnsTrueAndKeepsTheSetting) {
    const auto module = load_module();
    ASSERT_TRUE(module);
    EXPECT_TRUE(module->table()->on_configure(nullptr, module->instance()));
    EXPECT_EQ(config_text(*module->table()), u"RGBをAで割る: 1");
    const auto* first = module->table()->on_config_text();
    EXPECT_EQ(module->table()->on_config_text(), first) << "one buffer";
}

}  // namespace
}  // namespace vorlane::test
