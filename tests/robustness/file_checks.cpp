#include "file_checks.h"

namespace vorlane::robust {

host::HostScript small_script(const std::filesystem::path& path, std::int32_t frames) {
    host::HostScript s;
    s.width = 5;
    s.height = 3;
    s.frame_count = frames;
    s.output_path = path.u16string();
    s.guarded_frames = true;
    return s;
}

}  // namespace vorlane::robust
