#include "platform/config_dialog.h"

namespace vorlane::platform {

// No window system here: the dialog cannot be shown, which leaves the setting
// as it is, exactly as when Windows cannot create it.
void show_config_dialog(void*, void*) noexcept {}

}  // namespace vorlane::platform
