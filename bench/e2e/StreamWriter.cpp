// Writes N frames of the simulated camera's synthetic scene, encoded as the
// camera encodes them, to an H.264 (Annex B) file: the same stream for the
// client under test (camsim --video) and for a decoder run on its own.
//
//   orun_stream_writer --width W --height H --frames N --out FILE

#include "tools/camsim/video/SyntheticVideoSource.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    camsim::VideoSettings settings;
    long frames = 300;
    std::string out;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--width")
            settings.width = std::atoi(argv[i + 1]);
        else if (name == "--height")
            settings.height = std::atoi(argv[i + 1]);
        else if (name == "--frames")
            frames = std::atol(argv[i + 1]);
        else if (name == "--out")
            out = argv[i + 1];
    }
    if (out.empty() || frames <= 0 || settings.width <= 0 || settings.height <= 0) {
        std::fprintf(stderr,
                     "usage: orun_stream_writer --width W --height H --frames N --out FILE\n");
        return 2;
    }
    av_log_set_level(AV_LOG_ERROR);
    camsim::SyntheticVideoSource source;
    source.configure(settings);
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    long written = 0;
    size_t bytes = 0;
    for (long i = 0; i < frames; ++i) {
        camsim::VideoFrame frame;
        if (!source.nextFrame(frame))
            break;
        if (frame.accessUnit.empty())
            continue;
        file.write(frame.accessUnit.data(), static_cast<std::streamsize>(frame.accessUnit.size()));
        bytes += frame.accessUnit.size();
        ++written;
    }
    file.close();
    if (!file || written == 0) {
        std::fprintf(stderr, "orun_stream_writer: could not write %s\n", out.c_str());
        return 1;
    }
    std::printf("%s: %ld frames %dx%d, %zu bytes, encoder %s\n", out.c_str(), written,
                settings.width, settings.height, bytes, source.encoderName().c_str());
    return 0;
}
