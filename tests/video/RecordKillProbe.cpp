// A recording that is to be killed: records the simulated camera's H.264
// (640x360, 30 pictures a second, in real time) into a folder and prints
// "fed N" after each picture it handed to the recorder, until it is killed.
//
//   capture_kill_probe FOLDER
#include "tests/support/SyntheticUnits.h"
#include "video/capture/Recorder.h"

extern "C" {
#include <libavutil/log.h>
}

#include <chrono>
#include <cstdio>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: capture_kill_probe FOLDER\n");
        return 2;
    }
    av_log_set_level(AV_LOG_ERROR);
    RecorderSettings settings;
    settings.folder = argv[1];
    Recorder recorder(settings, [](const CaptureEvent& e) {
        if (e.kind == CaptureEvent::Kind::FileOpened)
            std::printf("file %s\n", e.path.c_str());
        else if (e.kind == CaptureEvent::Kind::FileFailed)
            std::printf("failed %s\n", e.reason.c_str());
        std::fflush(stdout);
    });
    recorder.start();
    SyntheticUnits source(640, 360);
    // Paced like a camera: a picture every 1/30 s.
    const auto start = std::chrono::steady_clock::now();
    for (long n = 0; n < 30L * 600; ++n) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(33333 * n));
        VideoUnit unit = source.next();
        const auto now = std::chrono::steady_clock::now();
        unit.arrivalUs =
            std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
        unit.cameraTime = unit.arrivalUs;
        recorder.onUnit(unit);
        std::printf("fed %ld\n", n + 1);
        std::fflush(stdout);
    }
    return 0;
}
