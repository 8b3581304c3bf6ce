// camsim: the simulated camera as a program of its own, for the demo and the
// end-to-end tests. It answers the client's control link on port 9999 until
// SIGINT or SIGTERM.
//
//   camsim [--address A] [--broadcast B] [--name NAME] [--log]
//     --address A    IPv4 address to bind (default 127.0.0.1)
//     --broadcast B  also receive announcements sent to broadcast address B
//     --name NAME    camera name reported in the station info
//     --log          print every request received on standard output
//
// The media side (media command server on port 11155 and the KCP sender) and
// the video source join in at the marked places below.

#include "tools/camsim/control/ControlCamera.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

void usage(const char* program) {
    std::fprintf(stderr, "usage: %s [--address A] [--broadcast B] [--name NAME] [--log]\n",
                 program);
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

} // namespace

int main(int argc, char** argv) {
    camsim::CameraConfig config;
    std::string name;
    bool logRequests = false;
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

    // Media side: start the media command server and KCP sender here, fed by
    // the video source. Control-side changes reach the source through
    //     control.setStateObserver([&](const camsim::CameraState& s) {
    //         source.configure(settingsFor(s)); // resolution, mirror, zoom
    //     });

    std::printf("camsim: control on %s:%u\n", config.bindAddress.c_str(), camsim::kControlPort);
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);

    // Media side: stop it here, before the control side.
    control.stop();
    return 0;
}
