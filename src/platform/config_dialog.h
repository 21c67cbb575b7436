#pragma once
// Seam: the modal settings dialog. On Windows the "CONFIG" resource run by
// DialogBoxParamW; where no dialog can be shown it does nothing and the
// setting stays as it is.
namespace vorlane::platform {

void show_config_dialog(void* parent_window, void* module_instance) noexcept;

}  // namespace vorlane::platform
