#include "host/plugin_table.h"

#include "host/output_job.h"
#include "settings/configure.h"

namespace vorlane {
namespace {

bool VORLANE_CALL on_output(OutputRequest* request) {
    // Nothing may unwind into the host: any exception is a failed run.
    try {
        return request != nullptr && OutputJob::run(*request);
    } catch (...) {
        return false;
    }
}

constexpr char16_t kFileFilter[] = u"PNG File (*.png)\0*.png\0AllFile (*.*)\0*.*\0";

OutputPluginTable table = {
    1,
    0,
    u"Vorlane",
    kFileFilter,
    u"Vorlane: Animated PNG output",
    on_output,
    on_configure,
    on_config_text,
    nullptr,
};

}  // namespace
}  // namespace vorlane

extern "C" VORLANE_EXPORT vorlane::OutputPluginTable* VORLANE_CALL GetOutputPluginTable() {
    return &vorlane::table;
}
