#include "host/output_job.h"

#include "apng/apng_writer.h"
#include "encode/frame_encoder.h"
#include "encode/setting.h"
#include "host/frame_delay.h"
#include "platform/output_file.h"

namespace vorlane {

bool OutputJob::run(const OutputRequest& request, EncoderStarter start_encoder) {
    request.setup_hook(16, 1);

    // Read once, after setup_hook: the host may fill them inside that call.
    const std::int32_t width = request.width;
    const std::int32_t height = request.height;
    const std::int32_t frame_count = request.frame_count;
    const FrameDelayValue delay = FrameDelay(request.fps_num, request.fps_den);

    auto file = OutputFile::create(request.output_path, OutputFile::Access::ReadWrite);
    if (!file) return false;

    bool failed = false;
    {
        // Started after the file exists, stopped after it is closed.
        const std::unique_ptr<PngEncoder> encoder = start_encoder();
        ApngWriter writer(*file, {width, height, frame_count, delay.num, delay.den});

        for (std::int32_t i = 0; i < frame_count; ++i) {
            // The callbacks are read from the record at every call.
            request.report_progress(i, frame_count);
            if (request.should_stop()) break;
            const void* pixels = request.fetch_frame(i, kFourccHF64);
            MemoryBlock png = FrameEncoder::encode(pixels, width, height, divide_rgb_by_alpha.load() != 0, i, *encoder);
            // A stream the writer cannot stitch in soundly fails the frame, so
            // that the file never announces a frame it does not hold.
            if (!png || !writer.accepts(png.data(), png.size())) {
                failed = true;
                break;
            }
            writer.add_frame(i, png.data(), png.size());
            // A full disk or a lost share: the file is lost, so no more frames.
            if (writer.write_failed()) break;
        }
        writer.finish();
        // Closing may be the first to report a write the system delayed.
        const bool closed = file->close();
        failed = failed || writer.write_failed() || !closed;
    }
    return !failed;
}

}  // namespace vorlane
