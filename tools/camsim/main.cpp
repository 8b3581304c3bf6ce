// camsim: the simulated camera as a program of its own, for the demo and the
// end-to-end tests. It answers the client's control link on port 9999 until
// SIGINT or SIGTERM.
//
//   camsim [--address A] [--broadcast B] [--name NAME] [--log]
//          [--video FILE] [--fps N] [--key-frames S] [--time-trailer[-ms]]
//          [--loss P] [--no-media]
//     --address A     IPv4 address to bind (default 127.0.0.1)
//     --broadcast B   also receive announcements sent to broadcast address B
//     --name NAME     camera name reported in the station info
//     --log           print every request received on standard output
//     --video FILE    replay an H.264 (Annex B) file instead of the synthetic scene
//     --fps N         send N video frames per second (default: the source's rate)
//     --key-frames S  a key frame every S seconds (1 to 10; default 1)
//     --time-trailer  end every video frame with the send-time trailer
//     --time-trailer-ms  end every video frame with a trailer counting the
//                     picture's place at the frame rate in milliseconds
//     --loss P        drop this share (0..1) of the outgoing media datagrams
//     --no-media      answer the control link only
//
// Lines on standard input change the camera while it runs (each is answered
// with "camsim: applied LINE" or "camsim: unknown command LINE"):
//     temperature C        camera temperature in degrees Celsius
//     module-flags X       module flag word (e.g. 0x1E: links up, no card)
//     battery P            battery level in percent (0: empty)
//     card STATE ERROR     storage card state and error code
//     pause-media          keep the media session but send no pictures
//     resume-media         send pictures again
//     counters             print "camsim: frames-sent N sessions N starts N stops N
//                          last-request start|stop|property|none"
// Besides the control link it serves the media session commands on port 11155
// and streams the live picture (the synthetic scene, encoded as H.264, at the
// resolution, mirroring and zoom the client sets) over KCP.

#include "kcpclient/KcpCmdOp.h"
#include "tools/camsim/control/ControlCamera.h"
#include "tools/camsim/media/MediaCamera.h"
#include "tools/camsim/video/SyntheticVideoSource.h"

extern "C" {
#include <libavutil/log.h>
}

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#ifdef __linux__
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace {

void usage(const char* program) {
    std::fprintf(stderr,
                 "usage: %s [--address A] [--broadcast B] [--name NAME] [--log]\n"
                 "          [--video FILE] [--fps N] [--key-frames S] [--time-trailer[-ms]]\n"
                 "          [--loss P] [--no-media]\n"
                 "          [--exit-with-parent]\n"
                 "commands on standard input, one a line:\n"
                 "  temperature C | module-flags X | battery P | card STATE ERROR\n"
                 "  pause-media | resume-media | counters\n",
                 program);
}

// What the picture looks like for the camera's current settings.
camsim::VideoSettings videoSettingsFor(const camsim::CameraState& s) {
    camsim::VideoSettings v;
    v.width = s.resolution != 0 ? 1920 : 1280;
    v.height = s.resolution != 0 ? 1080 : 720;
    v.mirror = s.mirror != 0;
    v.zoom = s.zoom;
    return v;
}

std::string requestLine(const camsim::Request& r) {
    std::string line;
    char head[128];
    std::snprintf(head, sizeof head,
                  "request set=%u id=0x%03X seq=%u from=%s:%u payload=", r.commandSet, r.commandId,
                  r.sequence, r.fromAddress.c_str(), r.fromPort);
    line = head;
    for (char c : r.payload) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(c));
        line += hex;
    }
    return line;
}

// Applies one command line to the running camera; false for an unknown
// command or missing values.
bool applyCommand(const std::string& line, camsim::ControlCamera& control,
                  camsim::MediaCamera* media, camsim::MediaFaults& mediaFaults) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    auto number = [&in](long& out) {
        std::string text;
        if (!(in >> text))
            return false;
        char* end = nullptr;
        out = std::strtol(text.c_str(), &end, 0);
        return end != text.c_str() && *end == '\0';
    };
    long a = 0;
    long b = 0;
    if (word == "temperature" && number(a)) {
        control.updateState(
            [a](camsim::CameraState& s) { s.temperature = static_cast<int32_t>(a); });
    } else if (word == "module-flags" && number(a)) {
        control.updateState(
            [a](camsim::CameraState& s) { s.moduleFlags = static_cast<uint32_t>(a); });
    } else if (word == "battery" && number(a) && a >= 0 && a <= 100) {
        control.updateState([a](camsim::CameraState& s) { s.batteryLevel = static_cast<int>(a); });
    } else if (word == "card" && number(a) && number(b)) {
        control.updateState([a, b](camsim::CameraState& s) {
            s.sdState = static_cast<int32_t>(a);
            s.sdError = static_cast<int32_t>(b);
        });
    } else if ((word == "pause-media" || word == "resume-media") && media) {
        mediaFaults.pauseMedia = word == "pause-media";
        media->setFaults(mediaFaults);
    } else if (word == "counters" && media) {
        const camsim::MediaCounters c = media->counters();
        const char* last = c.lastRequest == kcpcmd::StartSession  ? "start"
                           : c.lastRequest == kcpcmd::StopSession ? "stop"
                           : c.lastRequest == kcpcmd::SetProperty ? "property"
                                                                  : "none";
        std::printf(
            "camsim: frames-sent %llu sessions %llu starts %llu stops %llu last-request %s\n",
            static_cast<unsigned long long>(c.framesSent),
            static_cast<unsigned long long>(c.sessionsStarted),
            static_cast<unsigned long long>(c.startRequests),
            static_cast<unsigned long long>(c.stopRequests), last);
        return true;
    } else {
        return false;
    }
    // The status push carries health and power; send it now rather than
    // within the next second.
    control.pushStatusNow();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    camsim::CameraConfig config;
    std::string name;
    bool logRequests = false;
    bool media = true;
    std::string videoFile;
    camsim::MediaConfig mediaConfig;
    camsim::MediaFaults mediaFaults;
    bool exitWithParent = false;
    int keyFrameSeconds = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--address" && hasValue) {
            config.bindAddress = argv[++i];
        } else if (arg == "--broadcast" && hasValue) {
            config.broadcastAddress = argv[++i];
        } else if (arg == "--name" && hasValue) {
            name = argv[++i];
        } else if (arg == "--log") {
            logRequests = true;
        } else if (arg == "--video" && hasValue) {
            videoFile = argv[++i];
        } else if (arg == "--fps" && hasValue) {
            mediaConfig.framesPerSecond = std::atoi(argv[++i]);
            if (mediaConfig.framesPerSecond <= 0 || mediaConfig.framesPerSecond > 1000) {
                usage(argv[0]);
                return 2;
            }
        } else if (arg == "--key-frames" && hasValue) {
            keyFrameSeconds = std::atoi(argv[++i]);
            if (keyFrameSeconds < 1 || keyFrameSeconds > 10) {
                usage(argv[0]);
                return 2;
            }
        } else if (arg == "--time-trailer") {
            mediaConfig.timeTrailer = true;
        } else if (arg == "--time-trailer-ms") {
            mediaConfig.timeTrailer = true;
            mediaConfig.trailerInMilliseconds = true;
        } else if (arg == "--loss" && hasValue) {
            mediaFaults.loss = std::atof(argv[++i]);
        } else if (arg == "--no-media") {
            media = false;
        } else if (arg == "--exit-with-parent") {
            exitWithParent = true;
        } else if (arg == "--help" || arg == "-h") {
            usage(argv[0]);
            return 0;
        } else {
            usage(argv[0]);
            return 2;
        }
    }

    // Block the stop signals before any thread starts, so that only the
    // sigwait below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
#ifdef __linux__
    // A test that is killed must not leave its camera holding the fixed
    // ports: the end of the parent stops this program like a SIGTERM.
    if (exitWithParent) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() == 1)
            return 1;
    }
#else
    (void)exitWithParent;
#endif

    camsim::ControlCamera control(config);
    if (!name.empty()) {
        control.updateState([&name](camsim::CameraState& s) { s.cameraName = name; });
    }
    if (logRequests) {
        control.setRequestObserver([](const camsim::Request& r) {
            std::printf("%s\n", requestLine(r).c_str());
            std::fflush(stdout);
        });
    }
    if (!control.start()) {
        std::fprintf(stderr, "camsim: %s\n", control.lastError().c_str());
        return 1;
    }

    std::unique_ptr<camsim::MediaCamera> mediaCamera;
    if (media) {
        av_log_set_level(AV_LOG_ERROR); // the encoder's statistics are noise here
        std::shared_ptr<camsim::VideoSource> source;
        if (!videoFile.empty()) {
            auto file = std::make_shared<camsim::AnnexBFileSource>(videoFile);
            if (!file->isValid()) {
                std::fprintf(stderr, "camsim: no H.264 access units in %s\n", videoFile.c_str());
                control.stop();
                return 1;
            }
            source = file;
        } else {
            // Encoded for the rate it is sent at, as a camera's stream is.
            source = std::make_shared<camsim::SyntheticVideoSource>(
                mediaConfig.framesPerSecond > 0 ? mediaConfig.framesPerSecond : 30,
                keyFrameSeconds);
        }
        source->configure(videoSettingsFor(control.state()));
        // Resolution, mirroring and zoom set over the control link change the picture.
        control.setStateObserver(
            [source](const camsim::CameraState& s) { source->configure(videoSettingsFor(s)); });
        mediaConfig.bindAddress = config.bindAddress;
        mediaCamera = std::make_unique<camsim::MediaCamera>(mediaConfig);
        mediaCamera->setVideoSource(source);
        mediaCamera->setFaults(mediaFaults);
        if (!mediaCamera->start()) {
            std::fprintf(stderr, "camsim: media command port %u is in use\n",
                         mediaConfig.commandPort);
            control.stop();
            return 1;
        }
    }

    std::printf("camsim: control on %s:%u%s\n", config.bindAddress.c_str(), camsim::kControlPort,
                media ? ", media commands on port 11155" : "");
    std::fflush(stdout);

    // Commands on standard input. The reader is detached: it may sit in a read
    // when the program ends; `commandLock` keeps it from touching the camera
    // once stopping has begun.
    static std::mutex commandLock;
    static bool stopping = false;
    std::thread reader([&] {
        std::string line;
        while (std::getline(std::cin, line)) {
            if (line.empty())
                continue;
            std::lock_guard<std::mutex> lock(commandLock);
            if (stopping)
                return;
            const bool ok = applyCommand(line, control, mediaCamera.get(), mediaFaults);
            std::printf("camsim: %s %s\n", ok ? "applied" : "unknown command", line.c_str());
            std::fflush(stdout);
        }
    });
    reader.detach();

    int received = 0;
    sigwait(&stopSignals, &received);
    {
        std::lock_guard<std::mutex> lock(commandLock);
        stopping = true;
    }

    if (mediaCamera)
        mediaCamera->stop();
    control.stop();
    return 0;
}
