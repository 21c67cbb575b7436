#pragma once
// The host's two settings entries.
#include "host/output_request.h"

namespace vorlane {

// Runs the modal settings dialog on the host's window. True in every case:
// OK, Cancel, or no dialog at all.
bool VORLANE_CALL on_configure(void* parent_window, void* module_instance);

// "RGBをAで割る: %d" with the setting, in one module-wide buffer whose
// address is the same on every call.
const char16_t* VORLANE_CALL on_config_text();

}  // namespace vorlane
