// The VISCA server against a controller of the test: replies in order, the
// operations it asks for, and what bad input, silent controllers and a taken
// port do to it.
#include "app/ViscaServer.h"
#include "app/ViscaControl.h"
#include "hub/OrunAppFace.h"

#include "../support/Eventually.h"
#include "../support/ViscaClient.h"

#include <gtest/gtest.h>

#include <QUdpSocket>

#include <mutex>
#include <string>
#include <vector>

namespace {

// Records what the server asks of the camera.
class RecordingOperations : public ViscaOperations {
public:
    ViscaCameraState cameraState() override {
        std::lock_guard<std::mutex> lock(mutex);
        return state;
    }
    bool drive(double pan, double tilt) override { return note("drive", pan, tilt); }
    void stopDrive() override { note("stop"); }
    void resumeTracking() override { note("resume"); }
    // The camera reports the factor it went to, as the real one does.
    bool zoomTo(double factor) override {
        {
            std::lock_guard<std::mutex> lock(mutex);
            state.zoomFactor = factor;
        }
        return note("zoom", factor);
    }
    bool focusAtCentre() override { return note("focus"); }
    bool setTracking(bool on) override { return note(on ? "tracking on" : "tracking off"); }
    void controllerChanged(const std::string& who) override { note("controller " + who); }

    struct Call {
        std::string what;
        double a = 0;
        double b = 0;
    };
    std::vector<Call> calls() {
        std::lock_guard<std::mutex> lock(mutex);
        return log;
    }
    int count(const std::string& what) {
        int n = 0;
        for (const Call& c : calls())
            n += c.what == what ? 1 : 0;
        return n;
    }
    void setLinked(bool linked) {
        std::lock_guard<std::mutex> lock(mutex);
        state.linked = linked;
    }

private:
    bool note(const std::string& what, double a = 0, double b = 0) {
        std::lock_guard<std::mutex> lock(mutex);
        log.push_back({what, a, b});
        return true;
    }
    std::mutex mutex;
    ViscaCameraState state{true, 1.0, true};
    std::vector<Call> log;
};

class ViscaServerTest : public ::testing::Test {
protected:
    void start(ViscaServerSettings settings = {}) {
        settings.udpPort = 0;
        settings.tcpPort = 0;
        server = std::make_unique<ViscaServer>(settings, ops);
        std::string why;
        ASSERT_TRUE(server->start(&why)) << why;
        client = std::make_unique<ViscaTestClient>(server->udpPort());
    }
    // The replies of one request: `n` of them, in arrival order.
    std::vector<ViscaReply> replies(int n) {
        std::vector<ViscaReply> out;
        for (int i = 0; i < n; ++i) {
            auto r = client->receive(5000);
            if (!r)
                break;
            out.push_back(*r);
        }
        return out;
    }
    void expectAckThenCompletion(uint32_t seq, const char* what) {
        const auto r = replies(2);
        ASSERT_EQ(r.size(), 2u) << what;
        EXPECT_EQ(r[0].message, viscaBytes({0x90, 0x41, 0xFF})) << what;
        EXPECT_EQ(r[1].message, viscaBytes({0x90, 0x51, 0xFF})) << what;
        EXPECT_EQ(r[0].sequence, seq) << what;
        EXPECT_EQ(r[1].sequence, seq) << what;
    }

    std::shared_ptr<RecordingOperations> ops = std::make_shared<RecordingOperations>();
    std::unique_ptr<ViscaServer> server;
    std::unique_ptr<ViscaTestClient> client;
};

TEST_F(ViscaServerTest, CommandsAreAcknowledgedThenCompletedAndReachTheOperations) {
    start();
    // Pan right at half speed, tilt up at full speed.
    expectAckThenCompletion(
        client->command(viscaBytes({0x81, 0x01, 0x06, 0x01, 0x0C, 0x17, 0x02, 0x01, 0xFF})),
        "drive");
    expectAckThenCompletion(
        client->command(viscaBytes({0x81, 0x01, 0x06, 0x01, 0x01, 0x01, 0x03, 0x03, 0xFF})),
        "stop");
    expectAckThenCompletion(
        client->command(viscaBytes({0x81, 0x01, 0x04, 0x47, 0x02, 0x00, 0x00, 0x00, 0xFF})),
        "zoom direct");
    expectAckThenCompletion(client->command(viscaBytes({0x81, 0x01, 0x04, 0x18, 0x01, 0xFF})),
                            "one-push focus");
    expectAckThenCompletion(client->command(viscaBytes({0x81, 0x0A, 0x11, 0x54, 0x03, 0xFF})),
                            "tracking off");
    ASSERT_TRUE(eventually([&] { return ops->count("resume") == 1; }, 5000));

    const auto calls = ops->calls();
    std::vector<std::string> order;
    for (const auto& c : calls)
        order.push_back(c.what);
    const std::vector<std::string> expected{"controller 127.0.0.1:" +
                                                std::to_string(client->localPort()),
                                            "drive",
                                            "stop",
                                            "zoom",
                                            "focus",
                                            "tracking off",
                                            "resume"};
    EXPECT_EQ(order, expected);
    EXPECT_DOUBLE_EQ(calls[1].a, 0.5);
    EXPECT_DOUBLE_EQ(calls[1].b, 1.0);
    EXPECT_DOUBLE_EQ(calls[3].a, 2.25);
}

TEST_F(ViscaServerTest, ZoomTeleStepsUpUntilItsStop) {
    ViscaServerSettings settings;
    settings.zoomStep = std::chrono::milliseconds(20);
    start(settings);
    expectAckThenCompletion(client->command(viscaBytes({0x81, 0x01, 0x04, 0x07, 0x27, 0xFF})),
                            "tele");
    ASSERT_TRUE(eventually([&] { return ops->count("zoom") >= 3; }, 5000));
    expectAckThenCompletion(client->command(viscaBytes({0x81, 0x01, 0x04, 0x07, 0x00, 0xFF})),
                            "stop");
    const int atStop = ops->count("zoom");
    double last = 1.0;
    for (const auto& c : ops->calls()) {
        if (c.what != "zoom")
            continue;
        EXPECT_GT(c.a, last);
        last = c.a;
    }
    // A step that was due when the stop came may still have gone; no more.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_LE(ops->count("zoom"), atStop + 1);

    // Wide at speed 7 runs to the end of the range and stops there.
    expectAckThenCompletion(client->command(viscaBytes({0x81, 0x01, 0x04, 0x07, 0x37, 0xFF})),
                            "wide");
    ASSERT_TRUE(eventually(
        [&] {
            const auto calls = ops->calls();
            return calls.back().what == "zoom" && calls.back().a == 1.0;
        },
        10000));
}

TEST_F(ViscaServerTest, ADriveWithoutNewCommandsStopsAfterTheTimeOut) {
    ViscaServerSettings settings;
    settings.driveTimeout = std::chrono::milliseconds(100);
    start(settings);
    expectAckThenCompletion(
        client->command(viscaBytes({0x81, 0x01, 0x06, 0x01, 0x0C, 0x0C, 0x01, 0x03, 0xFF})),
        "drive");
    // The controller falls silent: the drive ends, then tracking resumes.
    ASSERT_TRUE(eventually([&] { return ops->count("resume") == 1; }, 5000));
    EXPECT_EQ(ops->count("stop"), 1);
    EXPECT_EQ(server->stats().driveTimeouts, 1u);
}

TEST_F(ViscaServerTest, BadMessagesAreCountedAndAnsweredWithSyntaxErrors) {
    start();
    const QByteArray syntaxError = viscaBytes({0x90, 0x60, 0x02, 0xFF});
    client->sendRaw(viscaBytes({0x01, 0x00, 0x00})); // shorter than a header
    auto r = client->receive();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->message, syntaxError);
    // Truncated: no FF at the end.
    client->command(viscaBytes({0x81, 0x01, 0x06, 0x01, 0x0C}));
    r = client->receive();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->message, syntaxError);
    // A header that promises more than came.
    client->sendRaw(
        viscaBytes({0x01, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00, 0x07, 0x81, 0x01, 0x04, 0xFF}));
    r = client->receive();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->message, syntaxError);
    EXPECT_EQ(r->sequence, 7u);
    // Unknown, but well-formed.
    client->command(viscaBytes({0x81, 0x01, 0x7F, 0x7F, 0xFF}));
    r = client->receive();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->message, syntaxError);
    // Longer than a datagram may be.
    client->sendRaw(QByteArray(3000, '\x81'));
    r = client->receive();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->message, syntaxError);

    const ViscaServerStats stats = server->stats();
    EXPECT_EQ(stats.counters.badTotal(), 4u);
    EXPECT_EQ(stats.counters.unknown, 1u);
    // None of it reached the camera, and the server still answers.
    EXPECT_EQ(ops->count("drive"), 0);
    expectAckThenCompletion(client->command(viscaBytes({0x81, 0x01, 0x04, 0x18, 0x01, 0xFF})),
                            "focus after the bad input");
}

TEST_F(ViscaServerTest, WithoutTheCameraCommandsAreNotExecutableAndNothingWaits) {
    ops->setLinked(false);
    start();
    const uint32_t seq =
        client->command(viscaBytes({0x81, 0x01, 0x06, 0x01, 0x0C, 0x0C, 0x01, 0x03, 0xFF}));
    auto r = client->receive();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->message, viscaBytes({0x90, 0x61, 0x41, 0xFF}));
    EXPECT_EQ(r->sequence, seq);
    // The camera comes: nothing that was refused is carried out late.
    ops->setLinked(true);
    expectAckThenCompletion(client->command(viscaBytes({0x81, 0x01, 0x04, 0x18, 0x01, 0xFF})),
                            "focus");
    EXPECT_EQ(ops->count("drive"), 0);
}

TEST_F(ViscaServerTest, AFloodOfDrivesLeavesTheServerAnsweringAndTheNewestWins) {
    start();
    for (int i = 0; i < 1000; ++i)
        client->command(viscaBytes({0x81, 0x01, 0x06, 0x01, 1 + i % 0x18, 0x01, 0x02, 0x03, 0xFF}));
    // Replies the socket had no room for are lost, as UDP loses them; the
    // server is not behind for it.
    while (client->receive(500)) {
    }
    expectAckThenCompletion(
        client->command(viscaBytes({0x81, 0x01, 0x06, 0x01, 0x06, 0x01, 0x01, 0x03, 0xFF})),
        "the newest drive");
    double lastDrive = 0;
    for (const auto& c : ops->calls())
        if (c.what == "drive")
            lastDrive = c.a;
    EXPECT_DOUBLE_EQ(lastDrive, -0.25);
}

TEST_F(ViscaServerTest, PlainViscaOverTcpAnswersWithBareMessages) {
    ViscaServerSettings settings;
    settings.tcp = true;
    start(settings);
    ViscaTcpTestClient tcp;
    ASSERT_TRUE(tcp.connectTo(server->tcpPort()));
    // One command in two pieces, then an inquiry.
    tcp.sendRaw(viscaBytes({0x81, 0x01, 0x04}));
    tcp.sendRaw(viscaBytes({0x18, 0x01, 0xFF, 0x81, 0x09, 0x04, 0x00, 0xFF}));
    EXPECT_EQ(tcp.receive(), viscaBytes({0x90, 0x41, 0xFF}));
    EXPECT_EQ(tcp.receive(), viscaBytes({0x90, 0x51, 0xFF}));
    EXPECT_EQ(tcp.receive(), viscaBytes({0x90, 0x50, 0x02, 0xFF}));
    EXPECT_EQ(ops->count("focus"), 1);
}

TEST_F(ViscaServerTest, BoundBeyondTheLoopbackOnlyTheAllowedSendersAreHeard) {
    ViscaServerSettings settings;
    settings.address = "0.0.0.0";
    settings.allowed = {"127.0.0.2"};
    start(settings);
    // A sender not on the list: no reply, nothing done, counted.
    const QByteArray drive = viscaBytes({0x81, 0x01, 0x06, 0x01, 0x0C, 0x17, 0x02, 0x01, 0xFF});
    client->command(drive);
    EXPECT_FALSE(client->receive(500).has_value());
    EXPECT_EQ(ops->count("drive"), 0);
    EXPECT_EQ(server->stats().refusedSenders, 1u);
    // The allowed one is answered and steers.
    ViscaTestClient allowed(server->udpPort(), QStringLiteral("127.0.0.1"),
                            QStringLiteral("127.0.0.2"));
    const uint32_t seq = allowed.command(drive);
    const auto ack = allowed.receive(5000);
    ASSERT_TRUE(ack.has_value());
    EXPECT_EQ(ack->message, viscaBytes({0x90, 0x41, 0xFF}));
    EXPECT_EQ(ack->sequence, seq);
    EXPECT_TRUE(eventually([&] { return ops->count("drive") == 1; }));
    EXPECT_EQ(server->stats().refusedSenders, 1u);
}

TEST(ViscaControl, ATakenPortShowsABannerAndTheProgramGoesOn) {
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    ControlSettings control;
    control.visca = true;
    control.udpPort = holder.localPort();
    OrunAppFace* hub = OrunAppFace::instance();
    EXPECT_FALSE(startViscaControl(control));
    EXPECT_TRUE(hub->hasFault(kViscaFaultId));
    EXPECT_TRUE(viscaControllerSeen().who.isEmpty());
    stopViscaControl();

    // Off: nothing is opened, and nothing fails.
    control.visca = false;
    EXPECT_TRUE(startViscaControl(control));
}

} // namespace
