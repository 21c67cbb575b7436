#include "settings/dialog_logic.h"

#include "encode/setting.h"

namespace vorlane {

bool dialog_initial_check() {
    return divide_rgb_by_alpha.load() != 0;
}

void dialog_apply_ok(bool box_checked) {
    divide_rgb_by_alpha.store(box_checked ? 1 : 0);
}

}  // namespace vorlane
