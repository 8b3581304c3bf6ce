// How soon the first picture comes after the decoder controller starts (the
// link came up): the simulated camera's stream with a key frame every second
// and every two seconds, joined at an even spread of places in the group of
// pictures, as a camera is joined wherever its stream is.
//
//   video_first_picture_bench [RUNS]   (per key-frame interval; 10 by default)

#include "hub/OrunAppFace.h"
#include "video/videoctl.h"

#include "tests/support/FakeMediaClient.h"
#include "tests/support/RecordingSinks.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds from the start to the first picture at a sink; -1 when none
// came within five seconds.
double firstPictureMs(std::vector<camsim::VideoFrame> frames) {
    videoctl* ctl = videoctl::instance();
    auto client = std::make_shared<FakeMediaClient>(std::move(frames));
    ctl->setMediaClient(client);
    ctl->setLinkUp(true);
    auto pictures = std::make_shared<RecordingPictureSink>();
    ctl->addPictureSink(pictures);
    const Clock::time_point started = Clock::now();
    ctl->start();
    Clock::time_point shown;
    bool any = false;
    while (Clock::now() - started < std::chrono::seconds(5)) {
        if (pictures->count() > 0) {
            shown = Clock::now();
            any = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ctl->stop();
    ctl->removePictureSink(pictures);
    return any ? std::chrono::duration<double, std::milli>(shown - started).count() : -1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
    if (runs < 1) {
        std::fprintf(stderr, "usage: video_first_picture_bench [RUNS]\n");
        return 2;
    }
    OrunAppFace::instance()->sCameraAddress.set(QStringLiteral("127.0.0.1"));
    OrunAppFace::instance()->iDecodeMode = 1; // software: the same on every machine
    for (int seconds : {1, 2}) {
        const int group = 30 * seconds;
        const std::vector<camsim::VideoFrame> stream = encodedStream(group, seconds);
        if (stream.size() != static_cast<size_t>(group)) {
            std::fprintf(stderr, "no H.264 encoder\n");
            return 1;
        }
        std::vector<double> ms;
        for (int r = 0; r < runs; ++r) {
            std::vector<camsim::VideoFrame> joined = stream;
            std::rotate(joined.begin(), joined.begin() + (r * group / runs) % group, joined.end());
            ms.push_back(firstPictureMs(std::move(joined)));
        }
        std::printf("key frame every %d s, each join:", seconds);
        for (double m : ms)
            std::printf(" %.0f", m);
        std::printf("\n");
        std::sort(ms.begin(), ms.end());
        std::printf("key frame every %d s: first picture after the start p50 %.0f ms, "
                    "max %.0f ms, min %.0f ms over %d joins\n",
                    seconds, ms[ms.size() / 2], ms.back(), ms.front(), runs);
    }
    return 0;
}
