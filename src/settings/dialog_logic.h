#pragma once
// What the settings dialog does, apart from the window system: the Windows
// dialog procedure calls these, and tests call them directly.
#include <cstdint>
#include <optional>

namespace vorlane {

inline constexpr int kDivideCheckBoxId = 101;
inline constexpr int kOkId = 1;
inline constexpr int kCancelId = 2;

// WM_INITDIALOG: whether check box 101 starts ticked.
bool dialog_initial_check();

void dialog_apply_ok(bool box_checked);

// WM_COMMAND with control `id`; `box_checked` tells the check box's state and
// is asked only for OK. Returns the result to end the dialog with, if any.
template <typename IsChecked>
std::optional<int> dialog_command(int id, IsChecked box_checked) {
    if (id == kOkId) {
        dialog_apply_ok(box_checked());
        return kOkId;
    }
    if (id == kCancelId) return kCancelId;  // also Esc and the close box
    return std::nullopt;                     // the box alone changes nothing until OK
}

}  // namespace vorlane
