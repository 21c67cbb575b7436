#include "settings/configure.h"

#include "platform/config_dialog.h"
#include "settings/config_text.h"

namespace vorlane {

bool VORLANE_CALL on_configure(void* parent_window, void* module_instance) {
    platform::show_config_dialog(parent_window, module_instance);
    return true;
}

const char16_t* VORLANE_CALL on_config_text() {
    return format_config_text();
}

}  // namespace vorlane
