// The client as it runs in the program, against the simulated camera with
// faults switched on: the supervisor links in hotspot mode over loopback,
// starts the real media client and the decoder controller (software
// decoding), and the operation runtime runs the user's requests. Each fault
// must leave the client running, and the picture or the operation must come
// back once the fault ends. The client's parts are process-wide singletons
// that stop for good, so each test needs a process of its own (ctest runs
// every test alone).
#include "app/Configuration.h"
#include "app/OrunAppRt.h"
#include "app/Shutdown.h"
#include "camera/Camera.h"
#include "camera/ControlFrame.h"
#include "hub/OrunAppFace.h"
#include "kcpclient/KcpWrapper.h"
#include "program/Composition.h"
#include "tools/camsim/control/ControlCamera.h"
#include "tools/camsim/media/MediaCamera.h"
#include "tools/camsim/video/SyntheticVideoSource.h"
#include "video/videoctl.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/Eventually.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

camsim::CameraConfig fastPushes() {
    camsim::CameraConfig c;
    c.statusIntervalMs = 200;
    c.batteryIntervalMs = 300;
    return c;
}

class FaultRig : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        setApplicationBaseDir(dir.path());
        writeConfigValue("BaseOption/usb", "127.0.0.1");
        writeConfigValue("BaseOption/wifi", "192.168.0.1");
        writeConfigValue("BaseOption/wifiMode", 1);
        hub->iWifiMode = 1;
        hub->iDecodeMode = 1;

        ASSERT_TRUE(cam.start()) << cam.lastError();
        media.setVideoSource(std::make_shared<camsim::SyntheticVideoSource>());
        ASSERT_TRUE(media.start());

        connections.append(QObject::connect(
            hub, &OrunAppFace::signal_showVideoPlanes, hub, [this](PlanePicture) { ++pictures; },
            Qt::DirectConnection));
        connections.append(QObject::connect(
            hub, &OrunAppFace::signal_showErrInfo, hub, [this] { ++errInfo; },
            Qt::DirectConnection));
        connections.append(QObject::connect(
            hub, &OrunAppFace::signal_doOperationFinished, hub,
            [this](int who, int ec) {
                std::lock_guard<std::mutex> lock(mutex);
                finished.push_back({who, ec});
            },
            Qt::DirectConnection));

        camera = Camera::instance();
        // Only the interface list is scripted: everything else is the real stack.
        composeProgram();
        Camera::SupervisorHooks h = programSupervisorHooks();
        h.interfaces = [] { return QList<InterfaceAddress>{{"127.0.0.1", "", true}}; };
        camera->setSupervisorHooks(h);
        OrunAppRt::instance();
        videoctl::instance()->slot_randerFinished(true);
    }

    void TearDown() override {
        shutdown();
        KcpWrapper::instance()->stop();
        media.stop();
        cam.stop();
        for (const auto& c : connections)
            QObject::disconnect(c);
        setApplicationBaseDir(QString());
    }

    // Starts supervising and waits for the link, the synchronisation and
    // the first pictures.
    void linkUp() {
        camera->enableSupervisor(true);
        ASSERT_TRUE(eventually([&] { return camera->connected.load(); }, 8000));
        ASSERT_TRUE(eventually([&] { return hub->bCameraReached.load(); }, 4000));
    }

    // Waits until no picture has arrived for `quietMs`, at most `limitMs`:
    // what the camera had already sent still plays out after it stops.
    bool waitForQuiet(int quietMs, int limitMs) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        int seen = pictures.load();
        auto lastChange = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() < limit) {
            sleepMs(20);
            const auto now = std::chrono::steady_clock::now();
            if (pictures.load() != seen) {
                seen = pictures.load();
                lastChange = now;
            } else if (now - lastChange >= std::chrono::milliseconds(quietMs)) {
                return true;
            }
        }
        return false;
    }

    // Pictures shown within `ms` from now.
    int picturesWithin(int ms) {
        const int before = pictures.load();
        sleepMs(ms);
        return pictures.load() - before;
    }

    // Posts an operation as the interface does and waits for its result.
    int runOperation(int code, int who, int timeoutMs = 6000) {
        size_t seen;
        {
            std::lock_guard<std::mutex> lock(mutex);
            seen = finished.size();
        }
        hub->iWho = who;
        hub->postOperation(code);
        int ec = -1000;
        eventually(
            [&] {
                std::lock_guard<std::mutex> lock(mutex);
                for (size_t i = seen; i < finished.size(); ++i) {
                    if (finished[i].first == who) {
                        ec = finished[i].second;
                        return true;
                    }
                }
                return false;
            },
            timeoutMs);
        return ec;
    }

    // The fault ids listed as raised (not cleared).
    std::set<int> raisedFaults() const {
        std::set<int> ids;
        for (const FaultEntry& e : hub->faults()) {
            if (e.state != 2)
                ids.insert(e.id);
        }
        return ids;
    }
    // What the banner pass of the window does with entries marked cleared.
    void dropClearedFaults() {
        for (const FaultEntry& e : hub->faults()) {
            if (e.state == 2)
                hub->dropFault(e.id);
        }
    }
    QString faultText(int id) const {
        for (const FaultEntry& e : hub->faults()) {
            if (e.id == id)
                return e.text;
        }
        return QString();
    }

    QTemporaryDir dir;
    OrunAppFace* hub = OrunAppFace::instance();
    camsim::ControlCamera cam{fastPushes()};
    camsim::MediaCamera media;
    std::shared_ptr<Camera> camera;
    std::atomic<int> pictures{0};
    std::atomic<int> errInfo{0};
    std::mutex mutex;
    std::vector<std::pair<int, int>> finished;
    QList<QMetaObject::Connection> connections;
};

// ---------------------------------------------------------------- media link

class MediaImpairment : public FaultRig {
protected:
    // Pictures keep coming under the impairment, the control link stays up,
    // and the session is the one opened at the start.
    void expectPicturesUnder(const camsim::MediaFaults& faults, int minimum) {
        media.setFaults(faults);
        linkUp();
        ASSERT_TRUE(eventually([&] { return pictures.load() > 0; }, 15000))
            << "no picture under the impairment";
        EXPECT_GE(picturesWithin(4000), minimum);
        EXPECT_TRUE(camera->connected.load());
        EXPECT_GT(media.counters().mediaDatagrams, 0u); // the impairment was in the way
    }
};

TEST_F(MediaImpairment, TenPercentLoss) {
    camsim::MediaFaults f;
    f.loss = 0.10;
    expectPicturesUnder(f, 20);
    EXPECT_GT(media.counters().timeoutResends + media.counters().framesSent, 0u);
}

TEST_F(MediaImpairment, ThirtyPercentLoss) {
    camsim::MediaFaults f;
    f.loss = 0.30;
    expectPicturesUnder(f, 5);
}

TEST_F(MediaImpairment, DuplicatedAndReorderedDatagrams) {
    camsim::MediaFaults f;
    f.duplicate = 0.30;
    f.reorder = 0.30;
    f.reorderMs = 20;
    expectPicturesUnder(f, 30);
}

// The camera keeps the session and the control link but sends no media for a
// while: the client waits it out and shows the picture again afterwards.
TEST_F(FaultRig, PictureReturnsAfterTheCameraPausesMedia) {
    linkUp();
    ASSERT_TRUE(eventually([&] { return pictures.load() > 10; }, 15000));

    camsim::MediaFaults f;
    f.pauseMedia = true;
    media.setFaults(f);
    ASSERT_TRUE(waitForQuiet(300, 10000)) << "pictures kept coming after the pause";
    EXPECT_EQ(picturesWithin(4000), 0);
    EXPECT_TRUE(camera->connected.load());

    media.setFaults(camsim::MediaFaults{});
    const int before = pictures.load();
    EXPECT_TRUE(eventually([&] { return pictures.load() > before + 10; }, 20000))
        << "the picture did not come back";
    EXPECT_TRUE(camera->connected.load());
}

// The camera ends the media session on its own: the client opens a new one.
TEST_F(FaultRig, PictureReturnsAfterTheCameraEndsTheSession) {
    linkUp();
    ASSERT_TRUE(eventually([&] { return pictures.load() > 10; }, 15000));
    media.endSession();
    // A new session, and pictures through it.
    EXPECT_TRUE(eventually([&] { return media.counters().sessionsStarted >= 2u; }, 20000));
    const int before = pictures.load();
    EXPECT_TRUE(eventually([&] { return pictures.load() > before + 10; }, 20000));
}

// ---------------------------------------------------------------- control replies

constexpr int kMirror = 14; // operation code: set the mirror from hub->iMirror

TEST_F(FaultRig, DroppedAndLateRepliesFailTheOperationOnly) {
    linkUp();

    // Dropped: the operation reports no reply, the link survives.
    cam.setSilent(SetSdk, 0x044, true);
    hub->iMirror = 1;
    EXPECT_EQ(runOperation(kMirror, 31), Camera::kNoReply);
    EXPECT_TRUE(camera->connected.load());
    cam.setSilent(SetSdk, 0x044, false);
    EXPECT_EQ(runOperation(kMirror, 32), 0);
    EXPECT_EQ(cam.state().mirror, 1);

    // Late but inside the wait: success.
    cam.setReplyDelay(SetSdk, 0x044, 700);
    hub->iMirror = 0;
    EXPECT_EQ(runOperation(kMirror, 33), 0);

    // Later than the wait: a failure; the late reply that follows is no harm.
    cam.setReplyDelay(SetSdk, 0x044, 2600);
    hub->iMirror = 1;
    EXPECT_EQ(runOperation(kMirror, 34), Camera::kNoReply);
    sleepMs(800);
    cam.setReplyDelay(SetSdk, 0x044, 0);
    EXPECT_EQ(runOperation(kMirror, 35), 0);
    EXPECT_TRUE(camera->connected.load());
    // The picture was never disturbed by the control faults.
    EXPECT_GT(picturesWithin(1500), 0);
}

// The link probe goes unanswered for a moment: fewer misses than the limit
// keep the link.
TEST_F(FaultRig, ShortControlOutageKeepsTheLink) {
    linkUp();
    std::atomic<bool> dropped{false};
    std::thread watch([&] {
        for (int i = 0; i < 200; ++i) {
            if (!camera->connected.load())
                dropped = true;
            sleepMs(10);
        }
    });
    cam.goOfflineFor(1500);
    watch.join();
    EXPECT_FALSE(dropped.load());
    EXPECT_EQ(runOperation(kMirror, 36), 0);
}

// ---------------------------------------------------------------- malformed frames

const camsim::Malformation kAllMalformations[] = {
    camsim::Malformation::Short,     camsim::Malformation::BadSync,
    camsim::Malformation::BadLength, camsim::Malformation::BadChecksum,
    camsim::Malformation::Empty,     camsim::Malformation::WrongPort,
};

TEST_F(FaultRig, MalformedRepliesAreDropped) {
    linkUp();
    int who = 40;
    for (camsim::Malformation kind : kAllMalformations) {
        SCOPED_TRACE(static_cast<int>(kind));
        cam.setMalformedReply(SetSdk, 0x044, kind);
        EXPECT_EQ(runOperation(kMirror, who++), Camera::kNoReply);
        // The valid reply after the spoiled one is taken.
        cam.setMalformedReply(SetSdk, 0x044, kind, true);
        EXPECT_EQ(runOperation(kMirror, who++), 0);
        cam.setMalformedReply(SetSdk, 0x044, camsim::Malformation::None);
    }
    EXPECT_TRUE(camera->connected.load());
}

TEST_F(FaultRig, MalformedAndTruncatedPushesChangeNothing) {
    linkUp();
    // Regular pushes off; a status block that would raise every module fault.
    cam.updateFaults([](camsim::Faults& f) { f.pushesStopped = true; });
    sleepMs(300);
    cam.updateState([](camsim::CameraState& s) { s.moduleFlags = 0; });
    ControlFrame push;
    push.senderDevice = DeviceCamera;
    push.receiverDevice = DeviceApp;
    push.commandSet = SetCamera;
    push.commandId = 0x1E0;
    push.payload = cam.statusBlock();
    push.length = static_cast<uint16_t>(kFrameHeaderSize + push.payload.size());
    const auto target = cam.pushTarget();
    ASSERT_FALSE(target.first.empty());
    const std::set<int> before = raisedFaults();

    for (camsim::Malformation kind : kAllMalformations) {
        const bool otherPort = kind == camsim::Malformation::WrongPort;
        ASSERT_TRUE(cam.sendRaw(camsim::ControlCamera::malformedBytes(push, kind), target.first,
                                target.second, otherPort));
    }
    // Every prefix of the valid frame, and the frame with trailing bytes
    // claimed by a too long header length.
    const QByteArray valid =
        camsim::ControlCamera::malformedBytes(push, camsim::Malformation::None);
    for (int n = 1; n < valid.size(); ++n)
        ASSERT_TRUE(cam.sendRaw(valid.left(n), target.first, target.second));
    QByteArray longer = valid;
    longer[2] = static_cast<char>(0xFF);
    longer[3] = static_cast<char>(0x03);
    ASSERT_TRUE(cam.sendRaw(longer, target.first, target.second));
    sleepMs(500);
    EXPECT_EQ(raisedFaults(), before);
    EXPECT_TRUE(camera->connected.load());

    // The same frame sent whole does raise the faults: the spoiled ones were
    // dropped for their damage, not for their content.
    ASSERT_TRUE(cam.sendRaw(valid, target.first, target.second));
    EXPECT_TRUE(eventually([&] { return raisedFaults().count(1) == 1; }, 2000));
}

// ---------------------------------------------------------------- status faults

TEST_F(FaultRig, ModuleTemperatureAndBatteryFaults) {
    linkUp();
    ASSERT_TRUE(eventually([&] { return errInfo.load() > 0; }, 3000));
    EXPECT_TRUE(raisedFaults().empty());

    struct Case {
        const char* what;
        std::function<void(camsim::CameraState&)> change;
        std::set<int> ids;
    };
    const Case cases[] = {
        {"gimbal link", [](camsim::CameraState& s) { s.moduleFlags &= ~(1u << 1); }, {1}},
        {"AI link", [](camsim::CameraState& s) { s.moduleFlags &= ~(1u << 2); }, {2}},
        {"battery link", [](camsim::CameraState& s) { s.moduleFlags &= ~(1u << 3); }, {3}},
        {"lens link", [](camsim::CameraState& s) { s.moduleFlags &= ~(1u << 4); }, {4}},
        {"sensor error", [](camsim::CameraState& s) { s.moduleFlags |= 1u << 18; }, {5}},
        {"media error", [](camsim::CameraState& s) { s.moduleFlags |= 1u << 19; }, {6}},
        {"no card", [](camsim::CameraState& s) { s.moduleFlags &= ~(1u << 9); }, {18}},
        {"all modules",
         [](camsim::CameraState& s) { s.moduleFlags = 0xC0000; },
         {1, 2, 3, 4, 5, 6, 18}},
        {"overheated", [](camsim::CameraState& s) { s.temperature = 85; }, {7}},
        {"battery empty", [](camsim::CameraState& s) { s.batteryLevel = 0; }, {8}},
    };
    const camsim::CameraState healthy = cam.state();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int shown = errInfo.load();
        cam.updateState(c.change);
        eventually([&] { return raisedFaults() == c.ids; }, 3000);
        EXPECT_EQ(raisedFaults(), c.ids);
        // The banner refresh is emitted after the faults change.
        EXPECT_TRUE(eventually([&] { return errInfo.load() > shown; }, 2000));
        for (int id : c.ids)
            EXPECT_FALSE(faultText(id).isEmpty());
        // Healthy again: every entry is marked cleared; the banner pass
        // then takes the cleared entries off the list.
        cam.updateState([&](camsim::CameraState& s) { s = healthy; });
        EXPECT_TRUE(eventually([&] { return raisedFaults().empty(); }, 3000));
        dropClearedFaults();
    }
    // A hot camera at the limit is no fault yet.
    cam.updateState([](camsim::CameraState& s) { s.temperature = 84; });
    sleepMs(600);
    EXPECT_TRUE(raisedFaults().empty());
    EXPECT_TRUE(camera->connected.load());
}

TEST_F(FaultRig, CardStatesThroughTheRuntime) {
    linkUp();
    const std::map<int, int> byState = {{3, 9}, {1, 16}, {7, 19}, {8, 20}};
    for (const auto& [state, id] : byState) {
        SCOPED_TRACE(state);
        cam.updateState([&](camsim::CameraState& s) {
            s.moduleFlags |= 1u << 11; // card state to be queried
            s.sdState = state;
            s.sdError = 0;
        });
        EXPECT_TRUE(eventually([&] { return raisedFaults() == std::set<int>{id}; }, 4000));
        EXPECT_FALSE(faultText(id).isEmpty());
    }
    for (int error = 1; error <= 6; ++error) {
        SCOPED_TRACE(error);
        cam.updateState([&](camsim::CameraState& s) {
            s.sdState = 0;
            s.sdError = error;
        });
        // The card state messages of before stay until the card leaves; the
        // error messages replace one another.
        EXPECT_TRUE(eventually(
            [&] {
                const std::set<int> ids = raisedFaults();
                int errors = 0;
                for (int e = 10; e <= 15; ++e)
                    errors += static_cast<int>(ids.count(e));
                return ids.count(9 + error) == 1 && errors == 1;
            },
            4000));
    }
    // The card no longer needs a look: every card message is cleared.
    const int shown = errInfo.load();
    cam.updateState([](camsim::CameraState& s) { s.moduleFlags &= ~(1u << 11); });
    EXPECT_TRUE(eventually([&] { return raisedFaults().empty(); }, 3000));
    EXPECT_TRUE(eventually([&] { return errInfo.load() > shown; }, 2000));
    EXPECT_TRUE(camera->connected.load());
}

} // namespace
