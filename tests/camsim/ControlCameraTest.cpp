// The simulated camera's control side, driven by a bare UDP client on port
// 7777 that builds and checks frames with the client's frame codec.
#include "tools/camsim/control/ControlCamera.h"
#include "tests/support/Eventually.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

using camsim::CameraState;
using camsim::ControlCamera;
using camsim::Malformation;

namespace {

using Clock = std::chrono::steady_clock;

struct Datagram {
    QByteArray bytes;
    uint16_t fromPort = 0;
};

// A minimal control client: one socket on 127.0.0.1:7777.
class Client {
public:
    Client() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(7777);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Client() { ::close(fd_); }
    bool bound() const { return bound_; }

    void sendBytes(const QByteArray& bytes) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(camsim::kControlPort);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(fd_, bytes.constData(), static_cast<size_t>(bytes.size()), 0,
                 reinterpret_cast<sockaddr*>(&to), sizeof to);
    }

    void send(uint8_t set, uint16_t id, const QByteArray& payload = QByteArray()) {
        ControlFrame f;
        f.receiverDevice = set == SetSdk ? DeviceSdk : DeviceCamera;
        f.commandSet = set;
        f.commandId = id;
        f.sequence = ++sequence_;
        f.payload = payload;
        f.length = static_cast<uint16_t>(kFrameHeaderSize + payload.size());
        uint8_t out[kMaxFrameSize + 1];
        int n = 0;
        packFrame(f, out, n);
        sendBytes(QByteArray(reinterpret_cast<const char*>(out), n));
    }

    std::optional<Datagram> receiveRaw(int timeoutMs) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) {
            return std::nullopt;
        }
        std::vector<char> buf(65536);
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n =
            ::recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) {
            return std::nullopt;
        }
        return Datagram{QByteArray(buf.data(), static_cast<int>(n)), ntohs(from.sin_port)};
    }

    // Next valid frame from port 9999 with this set and id; other frames
    // (pushes) are skipped.
    std::optional<ControlFrame> receive(uint8_t set, uint16_t id, int timeoutMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (left <= 0) {
                return std::nullopt;
            }
            auto d = receiveRaw(static_cast<int>(left));
            if (!d) {
                return std::nullopt;
            }
            QByteArray b = d->bytes;
            if (d->fromPort != camsim::kControlPort ||
                !validateFrame(reinterpret_cast<uint8_t*>(b.data()), b.size())) {
                continue;
            }
            ControlFrame f;
            unpackFrame(reinterpret_cast<const uint8_t*>(b.constData()), b.size(), f);
            if (f.commandSet == set && f.commandId == id) {
                return f;
            }
        }
    }

    std::optional<ControlFrame> request(uint8_t set, uint16_t id,
                                        const QByteArray& payload = QByteArray(),
                                        int timeoutMs = 1500) {
        send(set, id, payload);
        return receive(set, id, timeoutMs);
    }

    // Payload of the reply, or "no reply" when none came.
    QByteArray ask(uint8_t set, uint16_t id, const QByteArray& payload = QByteArray()) {
        auto f = request(set, id, payload);
        return f ? f->payload : QByteArray("no reply");
    }

    // Counts pushes of one kind arriving within `ms`.
    int countFrames(uint8_t set, uint16_t id, int ms, std::vector<ControlFrame>* seen = nullptr) {
        int n = 0;
        const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < deadline) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            auto f = receive(set, id, static_cast<int>(left));
            if (f) {
                ++n;
                if (seen) {
                    seen->push_back(*f);
                }
            }
        }
        return n;
    }

    void announce() {
        // 127.0.0.1 with its octets reversed, then port 7777 little-endian.
        QByteArray p("\x01\x00\x00\x7F\x61\x1E", 6);
        request(SetUniversal, 0x020, p);
    }

private:
    int fd_ = -1;
    bool bound_ = false;
    uint16_t sequence_ = 0;
};

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values) {
        b.append(static_cast<char>(v));
    }
    return b;
}

uint8_t at(const QByteArray& b, int i) {
    return static_cast<uint8_t>(b[i]);
}

uint32_t u32(const QByteArray& b, int i) {
    return at(b, i) | (at(b, i + 1) << 8) | (at(b, i + 2) << 16) |
           (static_cast<uint32_t>(at(b, i + 3)) << 24);
}

QByteArray floatBytes(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    return bytes({int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF), int(v >> 24)});
}

class ControlCameraTest : public ::testing::Test {
protected:
    explicit ControlCameraTest(camsim::CameraConfig config = camsim::CameraConfig())
        : cam(config) {}
    void SetUp() override {
        ASSERT_TRUE(client.bound());
        ASSERT_TRUE(cam.start()) << cam.lastError();
    }
    Client client;
    ControlCamera cam;
};

camsim::CameraConfig fastCapture() {
    camsim::CameraConfig c;
    c.singlePhotoMs = 200;
    c.multiShotIntervalMs = 30;
    return c;
}

class CaptureTest : public ControlCameraTest {
protected:
    CaptureTest() : ControlCameraTest(fastCapture()) {}
};

} // namespace

TEST_F(ControlCameraTest, RepliesMirrorTheRequestHeaderAndLearnThePushTarget) {
    client.send(SetUniversal, 0x020, QByteArray("\x01\x00\x00\x7F\x61\x1E", 6));
    auto reply = client.receive(SetUniversal, 0x020, 1500);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->receiverDevice, DeviceApp);
    EXPECT_EQ(reply->sequence, 1);
    EXPECT_EQ(reply->payload, bytes({0}));
    EXPECT_EQ(cam.pushTarget(), std::make_pair(std::string("127.0.0.1"), uint16_t(7777)));

    auto sdk = client.request(SetSdk, 0x044, bytes({1}));
    ASSERT_TRUE(sdk);
    EXPECT_EQ(sdk->senderDevice, DeviceSdk);
    EXPECT_EQ(sdk->receiverDevice, DeviceApp);

    auto logged = cam.lastRequest(SetSdk, 0x044);
    ASSERT_TRUE(logged);
    EXPECT_EQ(logged->payload, bytes({1}));
    EXPECT_EQ(logged->sequence, 2);
    EXPECT_EQ(logged->fromAddress, "127.0.0.1");
    EXPECT_EQ(logged->fromPort, 7777);
    EXPECT_EQ(cam.countRequests(SetUniversal, 0x020), 1);
}

TEST_F(ControlCameraTest, EveryCatalogueCommandIsAnsweredAndUnknownOnesAreNot) {
    struct Cmd {
        uint8_t set;
        uint16_t id;
        int payload;
        int data; // reply data bytes after the result code
    };
    const Cmd catalogue[] = {
        {SetFactory, 0x022, 0, 0},   {SetCamera, 0x000, 0, 2},  {SetCamera, 0x200, 2, 0},
        {SetCamera, 0x010, 0, 1},    {SetCamera, 0x210, 1, 0},  {SetCamera, 0x020, 0, 1},
        {SetCamera, 0x220, 1, 0},    {SetCamera, 0x021, 0, 1},  {SetCamera, 0x221, 1, 0},
        {SetCamera, 0x041, 0, 1},    {SetCamera, 0x241, 1, 0},  {SetCamera, 0x1C1, 0, 88},
        {SetCamera, 0x601, 1, 0},    {SetCamera, 0x602, 1, 0},  {SetCamera, 0x0F3, 0, 8},
        {SetCamera, 0x0F1, 0, 8},    {SetCamera, 0x278, 8, 0},  {SetCamera, 0x151, 0, 83},
        {SetCamera, 0x351, 83, 0},   {SetCamera, 0x152, 0, 65}, {SetCamera, 0x352, 65, 0},
        {SetSdk, 0x025, 24, 0},      {SetSdk, 0x029, 2, 0},     {SetSdk, 0x02C, 0, 44},
        {SetSdk, 0x044, 1, 0},       {SetSdk, 0x047, 5, 0},     {SetSdk, 0x051, 2, 0},
        {SetSdk, 0x063, 8, 0},       {SetSdk, 0x06C, 0, 28},    {SetCamera, 0x600, 1, 0},
        {SetUniversal, 0x020, 6, 0},
    };
    for (const Cmd& c : catalogue) {
        QByteArray payload(c.payload, '\0');
        if (c.set == SetSdk && c.id == 0x047) {
            payload = bytes({1}) + floatBytes(2.0f);
        }
        auto reply = client.request(c.set, c.id, payload);
        ASSERT_TRUE(reply) << int(c.set) << " " << c.id;
        ASSERT_GE(reply->payload.size(), 1);
        EXPECT_EQ(at(reply->payload, 0), 0) << int(c.set) << " " << c.id;
        EXPECT_EQ(reply->payload.size(), 1 + c.data) << int(c.set) << " " << c.id;
    }
    EXPECT_FALSE(client.request(SetCamera, 0x123, QByteArray(), 400));
    EXPECT_EQ(cam.countRequests(SetCamera, 0x123), 1);

    // A setter whose payload is too short is refused, not read past its end.
    auto shortZoom = client.request(SetSdk, 0x047, bytes({1, 0}));
    ASSERT_TRUE(shortZoom);
    EXPECT_NE(at(shortZoom->payload, 0), 0);
    EXPECT_FLOAT_EQ(cam.state().zoom, 2.0f);
}

TEST_F(ControlCameraTest, QueriesReportTheState) {
    cam.updateState([](CameraState& s) {
        s.temperature = 86;
        s.moduleFlags = 0x00080A1E;
        s.workMode = 1;
        s.subMode = 2;
        s.runState = 2;
        s.shotCount = 7;
        s.burstHalfSec = 9;
        s.captureTimeMs = 12345;
        s.sdState = 7;
        s.sdError = 3;
        s.cameraName = "CAM-7";
        s.wifiBlock[0] = 1;
    });
    auto status = client.request(SetCamera, 0x1C1);
    ASSERT_TRUE(status);
    const QByteArray b = status->payload.mid(1);
    ASSERT_EQ(b.size(), 88);
    EXPECT_EQ(u32(b, 0), 86u);
    EXPECT_EQ(u32(b, 4), 0x00080A1Eu);
    EXPECT_EQ(u32(b, 12), 12345u);
    EXPECT_EQ(at(b, 16), 0);
    EXPECT_EQ(at(b, 17), 1);
    EXPECT_EQ(at(b, 18), 2);
    EXPECT_EQ(at(b, 19), 2);
    EXPECT_EQ(u32(b, 20), 7u);
    EXPECT_EQ(u32(b, 24), 9u);

    auto mode = client.request(SetCamera, 0x000);
    ASSERT_TRUE(mode);
    EXPECT_EQ(mode->payload, bytes({0, 1, 2}));

    auto card = client.request(SetCamera, 0x0F1);
    ASSERT_TRUE(card);
    EXPECT_EQ(u32(card->payload, 1), 7u);
    EXPECT_EQ(u32(card->payload, 5), 3u);

    auto station = client.request(SetCamera, 0x151);
    ASSERT_TRUE(station);
    EXPECT_EQ(station->payload.mid(4, 6), QByteArray("CAM-7\0", 6));

    auto wifi = client.request(SetCamera, 0x152);
    ASSERT_TRUE(wifi);
    EXPECT_EQ(at(wifi->payload, 1), 1);
}

TEST_F(ControlCameraTest, SettersChangeTheStateAndPushTheChange) {
    client.announce();
    auto expectAck = [this](uint8_t set, uint16_t id, const QByteArray& p) {
        auto r = client.request(set, id, p);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->payload, bytes({0})) << id;
    };

    expectAck(SetCamera, 0x200, bytes({0, 1}));
    expectAck(SetCamera, 0x221, bytes({2}));
    expectAck(SetCamera, 0x220, bytes({1}));
    expectAck(SetCamera, 0x241, bytes({3}));
    expectAck(SetCamera, 0x210, bytes({2}));
    CameraState s = cam.state();
    EXPECT_EQ(s.workMode, 0);
    EXPECT_EQ(s.subMode, 1);
    EXPECT_EQ(s.burst, 2);
    EXPECT_EQ(s.multiShot, 1);
    EXPECT_EQ(client.ask(SetCamera, 0x041), bytes({0, 3}));
    EXPECT_EQ(client.ask(SetCamera, 0x010), bytes({0, 2}));
    EXPECT_EQ(client.ask(SetCamera, 0x021), bytes({0, 2}));
    EXPECT_EQ(client.ask(SetCamera, 0x020), bytes({0, 1}));

    // Zoom 2.5 -> zoom-rate push of 25.
    client.send(SetSdk, 0x047, bytes({3}) + floatBytes(2.5f));
    auto zoom = client.receive(SetSdk, 0x07A, 1500);
    ASSERT_TRUE(zoom);
    EXPECT_EQ(zoom->payload, bytes({25, 0}));

    // Gimbal lock (AI function 7) and power-on orientation (AI function 8).
    client.send(SetSdk, 0x051, bytes({7, 1}));
    auto gimbal = client.receive(SetSdk, 0x06A, 1500);
    ASSERT_TRUE(gimbal);
    ASSERT_EQ(gimbal->payload.size(), 28);
    EXPECT_EQ(at(gimbal->payload, 2), 1);
    client.send(SetSdk, 0x051, bytes({8, 1}));
    gimbal = client.receive(SetSdk, 0x06A, 1500);
    ASSERT_TRUE(gimbal);
    EXPECT_EQ(at(gimbal->payload, 21), 1); // record byte 23 once the client expands it
    auto g6c = client.request(SetSdk, 0x06C);
    ASSERT_TRUE(g6c);
    EXPECT_EQ(at(g6c->payload, 1 + 2), 1);

    // Mirror -> SDK 0x0B1 push, u16 at bytes 12-13.
    client.send(SetSdk, 0x044, bytes({1}));
    auto mirror = client.receive(SetSdk, 0x0B1, 1500);
    ASSERT_TRUE(mirror);
    ASSERT_EQ(mirror->payload.size(), 15);
    EXPECT_EQ(at(mirror->payload, 12), 1);

    // Gimbal setting 1 = portrait, seen in the 0x02F push and the 0x02C reply.
    client.send(SetSdk, 0x029, bytes({1, 1}));
    auto portrait = client.receive(SetSdk, 0x02F, 1500);
    ASSERT_TRUE(portrait);
    ASSERT_EQ(portrait->payload.size(), 44);
    EXPECT_EQ(at(portrait->payload, 30), 1);
    auto r2c = client.request(SetSdk, 0x02C);
    ASSERT_TRUE(r2c);
    EXPECT_EQ(at(r2c->payload, 1 + 30), 1);

    // Battery level from the test -> battery push with the level in byte 10.
    cam.updateState([](CameraState& st) { st.batteryLevel = 0; });
    auto battery = client.receive(SetBattery, 0x040, 1500);
    ASSERT_TRUE(battery);
    ASSERT_GE(battery->payload.size(), 11);
    EXPECT_EQ(at(battery->payload, 10), 0);

    // Wi-Fi mode switch -> reply, then the Wi-Fi mode push.
    QByteArray wifi(65, '\0');
    wifi[0] = 1;
    client.send(SetCamera, 0x352, wifi);
    auto wifiPush = client.receive(SetCamera, 0x752, 1500);
    ASSERT_TRUE(wifiPush);
    EXPECT_EQ(at(wifiPush->payload, 0), 1);
}

TEST_F(ControlCameraTest, WorkModeCannotChangeWhileCapturing) {
    cam.updateState([](CameraState& s) {
        s.workMode = 1;
        s.runState = 3;
    });
    auto r = client.request(SetCamera, 0x200, bytes({0, 0}));
    ASSERT_TRUE(r);
    EXPECT_EQ(at(r->payload, 0), 0xFC);
    EXPECT_EQ(cam.state().workMode, 1);
}

TEST_F(CaptureTest, SinglePhotoGivesOnePhotoFileThenIdle) {
    client.announce();
    EXPECT_EQ(client.ask(SetCamera, 0x600, bytes({0})), bytes({0}));
    EXPECT_EQ(cam.state().runState, 3);
    std::vector<ControlFrame> files;
    EXPECT_EQ(client.countFrames(SetCamera, 0x004, 700, &files), 1);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0].payload.startsWith("/DCIM/IMG_"));
    EXPECT_TRUE(files[0].payload.endsWith(QByteArray(1, '\0')));
    EXPECT_EQ(cam.state().runState, 0);
}

TEST_F(CaptureTest, MultiShotGivesThreeFiveOrSevenPhotoFiles) {
    client.announce();
    cam.updateState([](CameraState& s) { s.subMode = 2; });
    const int expected[] = {3, 5, 7};
    for (int setting = 0; setting < 3; ++setting) {
        cam.updateState([setting](CameraState& s) { s.multiShot = uint8_t(setting); });
        ASSERT_TRUE(client.request(SetCamera, 0x600, bytes({0})));
        EXPECT_EQ(client.countFrames(SetCamera, 0x004, 600), expected[setting]) << setting;
        EXPECT_EQ(cam.state().runState, 0);
    }
    EXPECT_EQ(cam.state().photoCount, 15);
}

TEST_F(CaptureTest, VideoRecordsUntilStoppedThenPushesTheRecording) {
    client.announce();
    cam.updateState([](CameraState& s) { s.workMode = 1; });
    ASSERT_TRUE(client.request(SetCamera, 0x600, bytes({0})));
    // A second start while recording is refused.
    EXPECT_EQ(at(client.ask(SetCamera, 0x600, bytes({0})), 0), 0xFC);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto status = client.request(SetCamera, 0x1C1);
    ASSERT_TRUE(status);
    EXPECT_EQ(at(status->payload, 1 + 19), 3);
    EXPECT_GE(u32(status->payload, 1 + 12), 250u);
    EXPECT_EQ(client.countFrames(SetCamera, 0x003, 300), 0);

    ASSERT_TRUE(client.request(SetCamera, 0x600, bytes({1})));
    auto rec = client.receive(SetCamera, 0x003, 1000);
    ASSERT_TRUE(rec);
    EXPECT_TRUE(rec->payload.startsWith("/DCIM/VID_"));
    EXPECT_EQ(cam.state().runState, 0);
    EXPECT_EQ(cam.state().captureTimeMs, 0);
}

TEST_F(CaptureTest, RecordingSetUpByTheTestKeepsItsTimeAndEndsWithAFile) {
    client.announce();
    cam.updateState([](CameraState& s) {
        s.workMode = 1;
        s.runState = 3;
        s.captureTimeMs = 12345;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(cam.state().captureTimeMs, 12345);
    ASSERT_TRUE(client.request(SetCamera, 0x600, bytes({1})));
    EXPECT_TRUE(client.receive(SetCamera, 0x003, 1000));
    EXPECT_EQ(cam.state().runState, 0);
}

TEST_F(CaptureTest, BurstRunsUntilStoppedWithAdvancingCounters) {
    client.announce();
    cam.updateState([](CameraState& s) {
        s.subMode = 1;
        s.burst = 0; // one shot a second
    });
    ASSERT_TRUE(client.request(SetCamera, 0x600, bytes({0})));
    EXPECT_EQ(client.countFrames(SetCamera, 0x004, 1500), 2); // at 0 s and 1 s
    CameraState s = cam.state();
    EXPECT_EQ(s.runState, 3);
    EXPECT_EQ(s.shotCount, 2);
    EXPECT_GE(s.burstHalfSec, 2);
    ASSERT_TRUE(client.request(SetCamera, 0x600, bytes({1})));
    EXPECT_EQ(cam.state().runState, 0);
    EXPECT_EQ(client.countFrames(SetCamera, 0x004, 1200), 0);
}

TEST_F(ControlCameraTest, StatusPushesFollowTheAnnouncementEverySecond) {
    EXPECT_EQ(client.countFrames(SetCamera, 0x1E0, 1300), 0); // nobody announced yet
    client.announce();
    std::vector<ControlFrame> pushes;
    const int n = client.countFrames(SetCamera, 0x1E0, 3300, &pushes);
    EXPECT_GE(n, 3);
    EXPECT_LE(n, 4);
    ASSERT_FALSE(pushes.empty());
    EXPECT_EQ(pushes[0].payload.size(), 88);
    EXPECT_EQ(pushes[0].receiverDevice, DeviceApp);
    EXPECT_NE(pushes[0].sequence, pushes.back().sequence);
}

TEST_F(ControlCameraTest, SilenceAllOrOneCommandAndComeBack) {
    cam.setSilent(true);
    EXPECT_FALSE(client.request(SetFactory, 0x022, QByteArray(), 400));
    EXPECT_EQ(cam.countRequests(SetFactory, 0x022), 1); // logged all the same
    cam.setSilent(false);
    EXPECT_TRUE(client.request(SetFactory, 0x022));

    cam.setSilent(SetCamera, 0x241, true);
    EXPECT_FALSE(client.request(SetCamera, 0x241, bytes({4}), 400));
    EXPECT_EQ(cam.state().resolution, 0); // a silenced request is not carried out
    EXPECT_TRUE(client.request(SetCamera, 0x041));

    cam.goOfflineFor(600);
    EXPECT_FALSE(client.request(SetCamera, 0x041, QByteArray(), 300));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_TRUE(client.request(SetCamera, 0x041));
}

TEST_F(ControlCameraTest, ResultCodeFaultRefusesWithoutApplying) {
    cam.setResultCode(SetCamera, 0x241, 0xFC);
    auto r = client.request(SetCamera, 0x241, bytes({5}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->payload, bytes({0xFC}));
    EXPECT_EQ(cam.state().resolution, 0);
    cam.setResultCode(SetCamera, 0x041, 0xFE);
    EXPECT_EQ(client.ask(SetCamera, 0x041), bytes({0xFE}));
    cam.clearFaults();
    EXPECT_EQ(client.ask(SetCamera, 0x041), bytes({0, 0}));
}

TEST_F(ControlCameraTest, DelayedReplyAndDelayedConfirmation) {
    cam.setReplyDelay(SetCamera, 0x041, 800);
    client.send(SetCamera, 0x041);
    EXPECT_FALSE(client.receive(SetCamera, 0x041, 500));
    EXPECT_TRUE(client.receive(SetCamera, 0x041, 1500));

    cam.clearFaults();
    cam.updateFaults([](camsim::Faults& f) { f.resolutionConfirmDelayMs = 700; });
    EXPECT_EQ(client.ask(SetCamera, 0x241, bytes({2})), bytes({0}));
    EXPECT_EQ(client.ask(SetCamera, 0x041), bytes({0, 0}));
    // The switch lands 700 ms after the request.
    EXPECT_TRUE(eventually([&] { return client.ask(SetCamera, 0x041) == bytes({0, 2}); }, 3000));
}

TEST_F(ControlCameraTest, DelayedCaptureConfirmation) {
    cam.updateState([](CameraState& s) { s.workMode = 1; });
    cam.updateFaults([](camsim::Faults& f) { f.captureConfirmDelayMs = 600; });
    ASSERT_TRUE(client.request(SetCamera, 0x600, bytes({0})));
    EXPECT_EQ(cam.state().runState, 0);
    // Still pending: another start is refused.
    EXPECT_EQ(at(client.ask(SetCamera, 0x600, bytes({0})), 0), 0xFC);
    EXPECT_TRUE(eventually([&] { return cam.state().runState == 3; }, 3000));
}

TEST_F(ControlCameraTest, MalformedRepliesFailTheClientsChecks) {
    const Malformation kinds[] = {Malformation::Short, Malformation::BadSync,
                                  Malformation::BadLength, Malformation::BadChecksum,
                                  Malformation::Empty};
    for (Malformation kind : kinds) {
        cam.setMalformedReply(SetFactory, 0x022, kind);
        client.send(SetFactory, 0x022);
        auto d = client.receiveRaw(1500);
        ASSERT_TRUE(d) << int(kind);
        QByteArray b = d->bytes;
        EXPECT_FALSE(validateFrame(reinterpret_cast<uint8_t*>(b.data()), b.size())) << int(kind);
        if (kind == Malformation::Empty) {
            EXPECT_TRUE(d->bytes.isEmpty());
        }
    }

    cam.setMalformedReply(SetFactory, 0x022, Malformation::WrongPort);
    client.send(SetFactory, 0x022);
    auto d = client.receiveRaw(1500);
    ASSERT_TRUE(d);
    EXPECT_NE(d->fromPort, camsim::kControlPort);
    QByteArray b = d->bytes;
    EXPECT_TRUE(validateFrame(reinterpret_cast<uint8_t*>(b.data()), b.size()));

    // With the valid reply following, the client still gets its answer.
    // Spoiling another command afterwards leaves that choice alone.
    cam.setMalformedReply(SetFactory, 0x022, Malformation::BadChecksum, true);
    cam.setMalformedReply(SetCamera, 0x041, Malformation::Short);
    EXPECT_TRUE(client.request(SetFactory, 0x022));
    EXPECT_FALSE(client.request(SetCamera, 0x041, QByteArray(), 400));
}

TEST_F(ControlCameraTest, GarbageIsDroppedAndTheCameraKeepsAnswering) {
    client.sendBytes(QByteArray());
    client.sendBytes(QByteArray("\xAA\x00\x0C", 3));
    client.sendBytes(QByteArray(2000, '\xAA'));
    QByteArray good = ControlCamera::malformedBytes(ControlFrame(), Malformation::None);
    good[5] = static_cast<char>(good[5] ^ 0x10); // breaks the checksum
    client.sendBytes(good);
    EXPECT_TRUE(client.request(SetFactory, 0x022));
    EXPECT_EQ(cam.droppedDatagrams(), 4);
    EXPECT_EQ(cam.countRequests(SetFactory, 0x022), 1);
}

TEST(ControlCameraBroadcast, AnnouncementToTheBroadcastAddressIsAnsweredFromTheCamera) {
    // On loopback 127.255.255.255 stands in for a subnet broadcast address.
    camsim::CameraConfig config;
    config.broadcastAddress = "127.255.255.255";
    ControlCamera cam(config);
    Client client;
    ASSERT_TRUE(client.bound());
    ASSERT_TRUE(cam.start()) << cam.lastError();

    ControlFrame f;
    f.commandSet = SetUniversal;
    f.commandId = 0x020;
    f.sequence = 9;
    f.payload = QByteArray("\x01\x00\x00\x7F\x61\x1E", 6);
    f.length = static_cast<uint16_t>(kFrameHeaderSize + f.payload.size());
    uint8_t out[64];
    int n = 0;
    packFrame(f, out, n);
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(camsim::kControlPort);
    inet_pton(AF_INET, "127.255.255.255", &to.sin_addr);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_port = htons(7778);
    from.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
    ASSERT_EQ(
        ::sendto(fd, out, static_cast<size_t>(n), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
        n);

    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 1500), 1);
    uint8_t in[64];
    sockaddr_in src{};
    socklen_t len = sizeof src;
    ssize_t got = ::recvfrom(fd, in, sizeof in, 0, reinterpret_cast<sockaddr*>(&src), &len);
    ::close(fd);
    ASSERT_EQ(got, 13);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &src.sin_addr, text, sizeof text);
    EXPECT_STREQ(text, "127.0.0.1"); // from the camera's own address, not the broadcast one
    EXPECT_EQ(ntohs(src.sin_port), camsim::kControlPort);
    // The announced port (7777) becomes the push target, not the sender's port.
    EXPECT_EQ(cam.pushTarget(), std::make_pair(std::string("127.0.0.1"), uint16_t(7777)));
}

TEST(CamsimProgram, AnswersUntilTerminatedAndLogsRequests) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::execl("./camsim", "camsim", "--address", "127.0.0.1", "--log", nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    Client client;
    ASSERT_TRUE(client.bound());
    std::optional<ControlFrame> reply;
    for (int i = 0; i < 20 && !reply; ++i) { // the program needs a moment to bind
        reply = client.request(SetFactory, 0x022, QByteArray(), 250);
    }
    EXPECT_TRUE(reply);

    std::string text;
    pollfd p{out[0], POLLIN, 0};
    while (text.find("id=0x022") == std::string::npos && ::poll(&p, 1, 2000) == 1) {
        char buf[512];
        ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        text.append(buf, static_cast<size_t>(n));
    }
    EXPECT_NE(text.find("set=6 id=0x022"), std::string::npos) << text;

    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::close(out[0]);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(ControlCameraTest, StateObserverSeesChangesMadeByRequests) {
    std::mutex m;
    std::vector<CameraState> seen;
    cam.setStateObserver([&](const CameraState& s) {
        std::lock_guard<std::mutex> lock(m);
        seen.push_back(s);
    });
    ASSERT_TRUE(client.request(SetSdk, 0x044, bytes({1})));
    ASSERT_TRUE(client.request(SetCamera, 0x041)); // a query changes nothing
    std::lock_guard<std::mutex> lock(m);
    ASSERT_EQ(seen.size(), 2u); // once when set, once for the mirror
    EXPECT_EQ(seen[0].mirror, 0);
    EXPECT_EQ(seen[1].mirror, 1);
}
