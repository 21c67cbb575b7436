#include <windows.h>

#include "platform/config_dialog.h"
#include "settings/dialog_logic.h"

namespace vorlane::platform {
namespace {

INT_PTR CALLBACK config_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        CheckDlgButton(dialog, kDivideCheckBoxId, dialog_initial_check() ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;  // the dialog manager focuses the first tab stop, the check box
    case WM_COMMAND: {
        const auto result = dialog_command(LOWORD(wparam), [&] {
            return IsDlgButtonChecked(dialog, kDivideCheckBoxId) == BST_CHECKED;
        });
        if (result) EndDialog(dialog, *result);
        return FALSE;
    }
    default:
        return FALSE;
    }
}

}  // namespace

// The dialog's result does not matter to the caller, and -1 (it could not be
// shown) leaves the setting as it was.
void show_config_dialog(void* parent_window, void* module_instance) noexcept {
    DialogBoxParamW(static_cast<HINSTANCE>(module_instance), L"CONFIG", static_cast<HWND>(parent_window),
                    config_dialog_proc, 0);
}

}  // namespace vorlane::platform
