// The connection supervisor against the simulated camera on loopback, with a
// scripted interface list and stand-ins for the synchronisation, the media
// client and the decoder.
#include "app/Configuration.h"
#include "app/RunOptions.h"
#include "camera/Camera.h"
#include "camera/UDPTransciever.h"
#include "hub/OrunAppFace.h"
#include "program/Composition.h"
#include "tools/camsim/control/ControlCamera.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

#include "tests/support/Eventually.h"

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Everything the supervisor did outside the control link.
struct Journal {
    std::mutex mutex;
    int synchronised = 0;
    std::vector<std::string> mediaStarts;
    int mediaStops = 0;
    int decoderStarts = 0;
    std::vector<bool> links;
    std::vector<int> statuses;
    std::vector<bool> buttons;
    int pictures = 0;
    int pictureChannels = 0;
    cv::Mat lastPicture;

    template <typename T> T read(T Journal::*field) {
        std::lock_guard<std::mutex> lock(mutex);
        return this->*field;
    }
};

class Supervisor : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // The stop-video pictures beside the test's working folder.
        if (QFile::exists(QDir::currentPath() + "/icon"))
            QFile::link(QDir::currentPath() + "/icon", dir.path() + "/icon");
        setApplicationBaseDir(dir.path());
        writeConfigValue("BaseOption/usb", "127.0.0.1");
        writeConfigValue("BaseOption/wifi", "192.168.0.1");

        ASSERT_TRUE(cam.start()) << cam.lastError();
        camera = Camera::instance();

        // The program's own collaborators (hotspot addresses from the
        // configuration, stop-video pictures), the rest recorded.
        Camera::SupervisorHooks h = programSupervisorHooks();
        h.interfaces = [this] {
            std::lock_guard<std::mutex> lock(journal.mutex);
            return interfaceList;
        };
        h.synchronise = [this] {
            std::lock_guard<std::mutex> lock(journal.mutex);
            ++journal.synchronised;
        };
        h.startMedia = [this](const std::string& a) {
            std::lock_guard<std::mutex> lock(journal.mutex);
            journal.mediaStarts.push_back(a);
        };
        h.stopMedia = [this] {
            std::lock_guard<std::mutex> lock(journal.mutex);
            ++journal.mediaStops;
        };
        h.startDecoder = [this] {
            std::lock_guard<std::mutex> lock(journal.mutex);
            ++journal.decoderStarts;
        };
        h.linkChanged = [this](bool up) {
            std::lock_guard<std::mutex> lock(journal.mutex);
            journal.links.push_back(up);
        };
        camera->setSupervisorHooks(h);

        // The supervisor thread emits; record there, under the journal lock.
        connections.append(QObject::connect(
            hub, &OrunAppFace::signal_showConnectSatus, hub,
            [this](int s) {
                std::lock_guard<std::mutex> lock(journal.mutex);
                journal.statuses.push_back(s);
            },
            Qt::DirectConnection));
        connections.append(QObject::connect(
            hub, &OrunAppFace::signal_setVideoBtnDlgVisable, hub,
            [this](bool b) {
                std::lock_guard<std::mutex> lock(journal.mutex);
                journal.buttons.push_back(b);
            },
            Qt::DirectConnection));
        connections.append(QObject::connect(
            hub, &OrunAppFace::signal_showVideoFrame, hub,
            [this](cv::Mat m) {
                std::lock_guard<std::mutex> lock(journal.mutex);
                ++journal.pictures;
                journal.pictureChannels = m.channels();
                journal.lastPicture = m;
            },
            Qt::DirectConnection));
    }
    void TearDown() override {
        camera->enableSupervisor(false);
        camera->stop(); // the hooks and connections must outlive the thread
        for (const auto& c : connections)
            QObject::disconnect(c);
        setApplicationBaseDir(QString());
    }
    // Station mode, searching, with a local address whose "broadcast"
    // reaches the simulated camera; the search lists `records` (the station
    // queries of the real program are not run here).
    void searchStation(const QList<CameraRecord>& records) {
        hub->iWifiMode = 0;
        camera->linkState = 0;
        hub->selectedCamera.set(CameraRecord{});
        hub->clearCameraRecords();
        for (const CameraRecord& r : records)
            hub->appendCameraRecord(r);
        {
            std::lock_guard<std::mutex> lock(journal.mutex);
            interfaceList = {{"127.0.0.1", "", true}, {"127.0.0.5", "127.0.0.1", true}};
        }
        camera->enableSupervisor(true);
    }
    // Waits until the search has announced the client `cycles` more times.
    bool searchCycles(int cycles) {
        const int seen = cam.countRequests(SetUniversal, 0x020);
        return eventually([&] { return cam.countRequests(SetUniversal, 0x020) >= seen + cycles; },
                          3000 * cycles);
    }
    static CameraRecord record(const char* address, const char* name) {
        CameraRecord r;
        r.texts[0] = address;
        r.texts[1] = name;
        return r;
    }
    int lastStatus() {
        std::lock_guard<std::mutex> lock(journal.mutex);
        return journal.statuses.empty() ? -99 : journal.statuses.back();
    }

    QTemporaryDir dir;
    camsim::ControlCamera cam;
    std::shared_ptr<Camera> camera;
    OrunAppFace* hub = OrunAppFace::instance();
    QList<InterfaceAddress> interfaceList{{"127.0.0.1", "", true}, {"::1", "", false}};
    Journal journal;
    QList<QMetaObject::Connection> connections;
};

} // namespace

TEST_F(Supervisor, HotspotLinkLossAndReconnect) {
    hub->iWifiMode = 1;
    camera->enableSupervisor(true);

    ASSERT_TRUE(eventually([&] { return camera->connected.load(); }, 5000));
    ASSERT_TRUE(eventually([&] { return hub->bCameraReached.load(); }, 2000));
    EXPECT_EQ(lastStatus(), 1); // over the USB network
    EXPECT_EQ(hub->sCameraAddress.get(), "127.0.0.1");
    EXPECT_EQ(hub->sLocalAddress.get(), "127.0.0.1");
    EXPECT_EQ(journal.read(&Journal::synchronised), 1);
    EXPECT_EQ(journal.read(&Journal::mediaStarts), std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(journal.read(&Journal::decoderStarts), 1);
    EXPECT_EQ(journal.read(&Journal::links), std::vector<bool>{true});
    EXPECT_EQ(journal.read(&Journal::buttons).back(), true);
    // The camera's station block became the Wi-Fi work status.
    const StationInfoBlock status = hub->wifiWorkStatus.get();
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(status.data()) + 3),
              QByteArray(cam.state().cameraName.c_str()));

    // The camera stops answering: three failed probes end the link.
    FaultEntry fault;
    fault.id = 4;
    fault.text = "lens";
    hub->raiseFault(fault);
    cam.setSilent(true);
    // The flag drops first; the clean-up after it ends with the station block cleared.
    ASSERT_TRUE(eventually([&] { return !camera->connected.load(); }, 12000));
    ASSERT_TRUE(eventually([&] { return hub->wifiWorkStatus.get() == StationInfoBlock{}; }, 2000));
    EXPECT_EQ(lastStatus(), -1);
    EXPECT_EQ(journal.read(&Journal::buttons).back(), false);
    EXPECT_EQ(journal.read(&Journal::mediaStops), 1);
    EXPECT_EQ(journal.read(&Journal::links), (std::vector<bool>{true, false}));
    EXPECT_TRUE(hub->faults().isEmpty());
    EXPECT_TRUE(eventually([&] { return camera->linkState.load() == 1; }, 2000));

    // Back again: linked anew, the decoder is not started a second time.
    cam.setSilent(false);
    ASSERT_TRUE(eventually([&] { return camera->connected.load(); }, 6000));
    ASSERT_TRUE(eventually([&] { return journal.read(&Journal::mediaStarts).size() == 2; }, 3000));
    EXPECT_EQ(journal.read(&Journal::decoderStarts), 1);
    EXPECT_EQ(journal.read(&Journal::synchronised), 2);
    EXPECT_EQ(journal.read(&Journal::links), (std::vector<bool>{true, false, true}));

    // Another part of the program takes the link down (a Wi-Fi mode switch):
    // the next cycle reports it, then the supervisor links anew.
    camera->connected = false;
    ASSERT_TRUE(eventually([&] { return journal.read(&Journal::links).size() >= 4; }, 3000));
    EXPECT_FALSE(journal.read(&Journal::links)[3]);
}

TEST_F(Supervisor, StationSearchThenTheChosenCamera) {
    hub->iWifiMode = 0;
    camera->linkState = 0;
    {
        std::lock_guard<std::mutex> lock(journal.mutex);
        // A local address whose "broadcast" reaches the simulated camera.
        interfaceList = {{"127.0.0.1", "", true}, {"127.0.0.5", "127.0.0.1", true}};
    }
    camera->enableSupervisor(true);

    // The camera answers the announcement: listed, queried, not linked.
    ASSERT_TRUE(eventually([&] { return hub->sLocalAddress.get() == "127.0.0.5"; }, 4000));
    ASSERT_TRUE(eventually([&] { return hub->lstOnlineCamera.get().contains("127.0.0.1"); }, 2000));
    EXPECT_EQ(hub->sStationAddress.get(), "127.0.0.1");
    EXPECT_EQ(hub->iOperation.load(), 19);
    ASSERT_TRUE(eventually([&] { return lastStatus() == -1; }, 2000));
    EXPECT_FALSE(camera->connected.load());
    EXPECT_EQ(journal.read(&Journal::mediaStarts).size(), 0u);
    if (QFile::exists(dir.path() + "/icon/stopVideo_16_9.png")) {
        hub->iScreenLayout = 7; // out of range: the 16:9 picture
        ASSERT_TRUE(eventually([&] { return journal.read(&Journal::pictures) > 0; }, 2000));
        EXPECT_EQ(journal.read(&Journal::pictureChannels), 3);
    }

    // The user picks the camera.
    CameraRecord chosen;
    chosen.texts[0] = "127.0.0.1";
    chosen.texts[1] = "ORUN-CAMSIM";
    hub->selectedCamera.set(chosen);
    camera->linkState = 1;
    ASSERT_TRUE(eventually([&] { return camera->connected.load(); }, 4000));
    EXPECT_EQ(camera->linkState.load(), 2);
    ASSERT_TRUE(eventually([&] { return lastStatus() == 0; }, 2000)); // over Wi-Fi
    EXPECT_EQ(hub->sCameraAddress.get(), "127.0.0.1");

    // The probe keeps the link.
    const int probes = cam.countRequests(SetFactory, 0x022);
    ASSERT_TRUE(
        eventually([&] { return cam.countRequests(SetFactory, 0x022) >= probes + 2; }, 4000));
    EXPECT_TRUE(camera->connected.load());
}

// The camera linked last is linked again as soon as the search lists it:
// found by its name at the address it answers from now (the network may have
// given it another one); a camera at its old address under another name is
// not it.
TEST_F(Supervisor, StationSearchLinksTheLastCameraByItself) {
    writeConfigValue("BaseOption/lastCameraName", "ORUN-CAMSIM");
    writeConfigValue("BaseOption/lastCameraAddress", "127.0.0.9");
    searchStation({record("127.0.0.9", "ORUN-OTHER"), record("127.0.0.1", "ORUN-CAMSIM")});

    ASSERT_TRUE(eventually([&] { return camera->connected.load(); }, 5000));
    EXPECT_EQ(camera->linkState.load(), 2);
    EXPECT_EQ(hub->selectedCamera.get(), record("127.0.0.1", "ORUN-CAMSIM"));
    EXPECT_EQ(hub->sCameraAddress.get(), "127.0.0.1");
    ASSERT_TRUE(eventually([&] { return lastStatus() == 0; }, 2000));
    EXPECT_EQ(journal.read(&Journal::mediaStarts), std::vector<std::string>{"127.0.0.1"});
    // The address it answered from is the one kept for the next start.
    EXPECT_EQ(readConfigValue("BaseOption/lastCameraName", QString()).toString(), "ORUN-CAMSIM");
    EXPECT_EQ(readConfigValue("BaseOption/lastCameraAddress", QString()).toString(), "127.0.0.1");
}

// With "Connect to the last camera automatically" off, and in a run given a
// camera of its own, the search lists the last camera and waits for the
// user's choice, as it did before cameras were remembered.
TEST_F(Supervisor, LastCameraWaitsForTheUserWhenAutoConnectIsOffOrTheRunNamesACamera) {
    writeConfigValue("BaseOption/lastCameraName", "ORUN-CAMSIM");
    writeConfigValue("BaseOption/lastCameraAddress", "127.0.0.1");
    writeConfigValue("BaseOption/autoConnect", false);
    searchStation({record("127.0.0.1", "ORUN-CAMSIM")});
    ASSERT_TRUE(searchCycles(3));
    EXPECT_FALSE(camera->connected.load()) << "linked with the setting off";
    EXPECT_EQ(camera->linkState.load(), 0);
    EXPECT_EQ(hub->selectedCamera.get(), CameraRecord{});

    // The camera of the command line wins over the remembered one, also
    // after the user switched to station mode during the run.
    writeConfigValue("BaseOption/autoConnect", true);
    RunOverrides run;
    run.cameraAddress = QStringLiteral("127.0.0.7");
    setRunOverrides(run);
    ASSERT_TRUE(searchCycles(3));
    setRunOverrides(RunOverrides{});
    EXPECT_FALSE(camera->connected.load()) << "the remembered camera won over the run's";
    EXPECT_EQ(camera->linkState.load(), 0);

    // The same search links by itself once nothing holds it back.
    EXPECT_TRUE(eventually([&] { return camera->connected.load(); }, 5000));
}

TEST_F(Supervisor, DisconnectedDisplayPicksThePictureOfTheLayout) {
    // Pictures of our own, each of its layout's shape, blue (B, G, R on disk).
    QFile::remove(dir.path() + "/icon");
    ASSERT_TRUE(QDir(dir.path()).mkpath("icon"));
    const struct {
        const char* name;
        int width, height;
    } pictures[] = {
        {"16_9", 64, 36}, {"9_16", 36, 64}, {"4_3", 48, 36}, {"3_4", 36, 48}, {"1_1", 40, 40}};
    for (const auto& p : pictures) {
        const std::string path = (dir.path() + "/icon/stopVideo_" + p.name + ".png").toStdString();
        ASSERT_TRUE(cv::imwrite(path, cv::Mat(p.height, p.width, CV_8UC3, cv::Scalar(255, 0, 0))));
    }
    hub->iWifiMode = 0;
    camera->linkState = 0; // searching on loopback only: nothing to announce to
    auto pictureOfSize = [&](int width, int height) {
        return eventually(
            [&] {
                std::lock_guard<std::mutex> lock(journal.mutex);
                return journal.lastPicture.cols == width && journal.lastPicture.rows == height;
            },
            3000);
    };

    hub->iScreenLayout = 7; // out of range: the 16:9 picture
    camera->enableSupervisor(true);
    ASSERT_TRUE(pictureOfSize(64, 36));
    {
        std::lock_guard<std::mutex> lock(journal.mutex);
        const cv::Vec3b pixel = journal.lastPicture.at<cv::Vec3b>(0, 0);
        EXPECT_EQ(pixel, cv::Vec3b(0, 0, 255)); // handed on in R, G, B order
    }
    hub->iScreenLayout = 1;
    EXPECT_TRUE(pictureOfSize(36, 64));
    hub->iScreenLayout = 3;
    EXPECT_TRUE(pictureOfSize(36, 48));
    EXPECT_EQ(lastStatus(), -1);
    EXPECT_EQ(journal.read(&Journal::buttons).back(), false);
    EXPECT_FALSE(camera->connected.load());
    hub->iScreenLayout = 0;
}
