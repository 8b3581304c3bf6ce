// VISCA command in -> first gimbal speed out to the camera: a controller of
// the benchmark sends a pan-tilt drive to the program's VISCA server; the
// simulated camera (camsim's control side, in this process) notes when the
// first setGimbalSpeed of that drive arrives. Then a stop, and the next drive
// once the runtime is idle again. Prints p50, p99 and max over the drives.
//
//   viscabench_latency [DRIVES]   (default 1000; binds ports 7777 and 9999)

#include "app/ManualControl.h"
#include "app/OrunAppRt.h"
#include "app/ViscaControl.h"
#include "app/ViscaServer.h"
#include "camera/Camera.h"
#include "camera/ControlFrame.h"
#include "camera/UDPTransciever.h"
#include "hub/OrunAppFace.h"
#include "tools/camsim/control/ControlCamera.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The program's operations, with the camera taken as linked: the benchmark
// has no media link.
class LinkedOperations : public ViscaOperations {
public:
    ViscaCameraState cameraState() override {
        ViscaCameraState s = inner->cameraState();
        s.linked = true;
        return s;
    }
    bool drive(double pan, double tilt) override { return inner->drive(pan, tilt); }
    void stopDrive() override { inner->stopDrive(); }
    void resumeTracking() override {}
    bool zoomTo(double factor) override { return inner->zoomTo(factor); }
    bool focusAtCentre() override { return inner->focusAtCentre(); }
    bool setTracking(bool on) override { return inner->setTracking(on); }

private:
    std::shared_ptr<ViscaOperations> inner = programViscaOperations();
};

std::vector<uint8_t> datagram(uint32_t seq, const std::vector<uint8_t>& message) {
    std::vector<uint8_t> d(8 + message.size());
    d[0] = 0x01; // VISCA command
    d[3] = static_cast<uint8_t>(message.size());
    for (int k = 0; k < 4; ++k)
        d[4 + k] = static_cast<uint8_t>(seq >> (24 - 8 * k));
    std::copy(message.begin(), message.end(), d.begin() + 8);
    return d;
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
    return v[i];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    registerQueuedTypes();
    const int drives = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;

    OrunAppFace* hub = OrunAppFace::instance();
    Camera::instance()->stop(); // no supervisor: the camera is camsim, here
    std::shared_ptr<UDPTransciever> udp = UDPTransciever::instance();
    if (!udp->isBound()) {
        std::fprintf(stderr, "control port not bound\n");
        return 1;
    }
    udp->peerAddress.set("127.0.0.1");
    camsim::CameraConfig config;
    config.statusIntervalMs = 60000;
    config.batteryIntervalMs = 60000;
    camsim::ControlCamera cam(config);
    if (!cam.start()) {
        std::fprintf(stderr, "camsim: %s\n", cam.lastError().c_str());
        return 1;
    }
    std::mutex mutex;
    std::condition_variable arrived;
    Clock::time_point lastSpeed{};
    cam.setRequestObserver([&](const camsim::Request& r) {
        if (r.commandSet != SetSdk || r.commandId != 0x025)
            return;
        std::lock_guard<std::mutex> lock(mutex);
        lastSpeed = r.receivedAt;
        arrived.notify_all();
    });
    hub->uiActive = true;
    OrunAppRt::instance();

    ViscaServerSettings settings;
    settings.udpPort = 0;
    ViscaServer server(settings, std::make_shared<LinkedOperations>());
    std::string why;
    if (!server.start(&why)) {
        std::fprintf(stderr, "VISCA server: %s\n", why.c_str());
        return 1;
    }
    boost::asio::io_context io;
    boost::asio::ip::udp::socket client(io, {boost::asio::ip::udp::v4(), 0});
    const boost::asio::ip::udp::endpoint to(boost::asio::ip::make_address("127.0.0.1"),
                                            server.udpPort());
    auto drain = [&] {
        std::vector<uint8_t> buffer(64);
        while (client.available() > 0)
            client.receive(boost::asio::buffer(buffer));
    };

    std::vector<double> ms;
    int lost = 0;
    uint32_t seq = 1;
    for (int i = 0; i < drives; ++i) {
        const Clock::time_point sent = Clock::now();
        client.send_to(boost::asio::buffer(
                           datagram(seq++, {0x81, 0x01, 0x06, 0x01, 0x0C, 0x0C, 0x02, 0x03, 0xFF})),
                       to);
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (arrived.wait_for(lock, std::chrono::seconds(2), [&] { return lastSpeed >= sent; }))
                ms.push_back(std::chrono::duration<double, std::milli>(lastSpeed - sent).count());
            else
                ++lost;
        }
        client.send_to(boost::asio::buffer(
                           datagram(seq++, {0x81, 0x01, 0x06, 0x01, 0x0C, 0x0C, 0x03, 0x03, 0xFF})),
                       to);
        // The motion loop ends within its period; the next drive starts a new one.
        const Clock::time_point until = Clock::now() + std::chrono::seconds(2);
        while ((hub->iOperating.load() != 0 || hub->bGimbalMoving.load()) && Clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        drain();
    }

    server.stop();
    OrunAppRt::instance()->stop();
    cam.stop();
    udp->stop();
    if (ms.empty()) {
        std::printf("no drive reached the camera\n");
        return 1;
    }
    std::printf("VISCA drive -> first setGimbalSpeed at the camera, %zu drives (%d lost)\n",
                ms.size(), lost);
    std::printf("  p50 %.3f ms   p99 %.3f ms   max %.3f ms\n", percentile(ms, 0.5),
                percentile(ms, 0.99), *std::max_element(ms.begin(), ms.end()));
    return 0;
}
