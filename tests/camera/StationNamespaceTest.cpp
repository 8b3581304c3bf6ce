// Station mode end to end across two network namespaces joined by a veth
// pair: the camsim program at 192.168.88.10 in one, the client's supervisor,
// transceiver and operation runtime at 192.168.88.20 in the other. The search
// broadcast finds the camera, the station query lists it, choosing it links;
// the next start links to it again by itself. Needs root and iproute2; the
// namespaces are created and removed here, and no traffic leaves them.
#include "app/Configuration.h"
#include "app/OrunAppRt.h"
#include "camera/Camera.h"
#include "hub/OrunAppFace.h"
#include "program/Composition.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/Eventually.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <sched.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char* const kCameraAddress = "192.168.88.10";
const char* const kClientAddress = "192.168.88.20";
const char* const kCameraName = "ORUN-NETNS";

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// The two namespaces and the veth pair between them; removed on destruction.
class NamespacePair {
public:
    NamespacePair() {
        const std::string id = std::to_string(::getpid());
        camera = "orun-cam-" + id;
        client = "orun-cli-" + id;
    }
    ~NamespacePair() {
        run("ip netns del " + camera);
        run("ip netns del " + client);
    }
    // Empty on success, else the command that failed.
    std::string create() {
        const std::vector<std::string> steps = {
            "ip netns add " + camera,
            "ip netns add " + client,
            "ip -n " + camera + " link add vcam type veth peer name vcli netns " + client,
            "ip -n " + camera + " addr add " + kCameraAddress + "/24 brd + dev vcam",
            "ip -n " + client + " addr add " + kClientAddress + "/24 brd + dev vcli",
            "ip -n " + camera + " link set lo up",
            "ip -n " + client + " link set lo up",
            "ip -n " + camera + " link set vcam up",
            "ip -n " + client + " link set vcli up",
        };
        for (const std::string& s : steps) {
            if (!run(s))
                return s;
        }
        return std::string();
    }
    std::string camera;
    std::string client;
};

// The camsim program inside the camera's namespace, its output in a file.
class CamsimProcess {
public:
    ~CamsimProcess() { stop(); }
    bool start(const std::string& ns, const std::string& logPath) {
        log = logPath;
        pid = ::fork();
        if (pid < 0)
            return false;
        if (pid == 0) {
            const int fd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) {
                ::dup2(fd, 1);
                ::dup2(fd, 2);
            }
            const std::string program = ORUN_CAMSIM_PATH;
            ::execlp("ip", "ip", "netns", "exec", ns.c_str(), program.c_str(), "--address",
                     kCameraAddress, "--broadcast", "192.168.88.255", "--name", kCameraName,
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return eventually(
                   [&] { return output().find("control on") != std::string::npos || exited(); },
                   5000) &&
               !exited();
    }
    bool exited() {
        if (pid <= 0)
            return true;
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return true;
        }
        return false;
    }
    void stop() {
        if (pid <= 0)
            return;
        ::kill(pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 200 && ::waitpid(pid, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (::waitpid(pid, &status, WNOHANG) == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        pid = -1;
    }
    std::string output() const {
        QFile f(QString::fromStdString(log));
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    }

private:
    pid_t pid = -1;
    std::string log;
};

// One start of the client, in a forked child that entered the client
// namespace: the program's supervisor hooks (its configuration in `configDir`)
// with the synchronisation, the media client and the decoder journalled, and
// the operation runtime that runs the station queries. Every check that fails
// adds a line to the report.
class ClientStart {
public:
    // False with the reason in the report when the namespace cannot be entered.
    bool enter(const std::string& ns, const QString& configDir) {
        // Before any socket exists: every socket of this process lives in the
        // client's namespace.
        const std::string path = "/var/run/netns/" + ns;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::setns(fd, CLONE_NEWNET) != 0) {
            report += "setns " + path + ": " + std::strerror(errno) + "\n";
            return false;
        }
        ::close(fd);
        setApplicationBaseDir(configDir);
        hub = OrunAppFace::instance();
        camera = Camera::instance();

        hub->iWifiMode = 0;
        camera->linkState = 0;
        Camera::SupervisorHooks hooks = programSupervisorHooks(); // the real interface list
        hooks.synchronise = [] {};
        hooks.startMedia = [this](const std::string& a) {
            std::lock_guard<std::mutex> lock(mutex);
            mediaStarts.push_back(a);
        };
        hooks.stopMedia = [] {};
        hooks.startDecoder = [this] { ++decoderStarts; };
        hooks.linkChanged = [](bool) {};
        camera->setSupervisorHooks(hooks);
        QObject::connect(
            hub, &OrunAppFace::signal_showConnectSatus, hub,
            [this](int s) {
                std::lock_guard<std::mutex> lock(mutex);
                statuses.push_back(s);
            },
            Qt::DirectConnection);
        runtime = OrunAppRt::instance(); // runs operation 19
        camera->enableSupervisor(true);
        return true;
    }
    bool check(bool ok, const std::string& what) {
        if (!ok)
            report += what + "\n";
        return ok;
    }
    int lastStatus() {
        std::lock_guard<std::mutex> lock(mutex);
        return statuses.empty() ? -99 : statuses.back();
    }
    std::vector<std::string> media() {
        std::lock_guard<std::mutex> lock(mutex);
        return mediaStarts;
    }
    CameraRecord listedCamera() const {
        for (const CameraRecord& r : hub->cameraRecords()) {
            if (r.texts[0] == kCameraAddress && r.texts[1] == kCameraName)
                return r;
        }
        return CameraRecord();
    }
    // Linked to the camera over Wi-Fi, with the media client and the decoder
    // started for it.
    void checkLinked() {
        check(camera->linkState.load() == 2,
              "link state " + std::to_string(camera->linkState.load()));
        check(eventually([&] { return lastStatus() == 0; }, 2000),
              "connection status " + std::to_string(lastStatus()));
        check(hub->sCameraAddress.get() == kCameraAddress, "camera address");
        check(eventually([&] { return decoderStarts.load() == 1; }, 2000), "decoder not started");
        check(media() == std::vector<std::string>{kCameraAddress}, "media client address");
    }
    std::string finish() {
        camera->enableSupervisor(false);
        return report;
    }

    // Made once inside the namespace.
    OrunAppFace* hub = nullptr;
    std::shared_ptr<Camera> camera;
    std::string report;

private:
    std::mutex mutex;
    std::vector<std::string> mediaStarts;
    std::vector<int> statuses;
    std::atomic<int> decoderStarts{0};
    std::shared_ptr<OrunAppRt> runtime;
};

// The first start: the search lists the camera, the user chooses it, it links
// and is remembered.
std::string firstStart(const std::string& ns, const QString& configDir) {
    ClientStart client;
    if (!client.enter(ns, configDir))
        return client.report;
    OrunAppFace* hub = client.hub;
    std::shared_ptr<Camera> camera = client.camera;

    // The broadcast on 192.168.88.255 reaches the camera; its answer lists it
    // and the station query adds its record.
    if (!client.check(eventually([&] { return !client.listedCamera().texts[0].isEmpty(); }, 10000),
                      "the camera record was not added by the station query"))
        return client.finish();
    // The supervisor takes the local address once the announcement is
    // answered, which may come after the record is listed.
    client.check(eventually([&] { return hub->sLocalAddress.get() == kClientAddress; }, 3000),
                 "local address " + hub->sLocalAddress.get().toStdString());
    client.check(hub->lstOnlineCamera.get() == QStringList{kCameraAddress}, "online camera list");
    client.check(!camera->connected.load(), "linked by the search alone");
    client.check(eventually([&] { return client.lastStatus() == -1; }, 2000),
                 "no disconnected status while searching");

    // The user chooses it.
    hub->selectedCamera.set(client.listedCamera());
    camera->linkState = 1;
    if (!client.check(eventually([&] { return camera->connected.load(); }, 5000), "not linked"))
        return client.finish();
    client.checkLinked();
    client.check(
        readConfigValue("BaseOption/lastCameraName", QString()).toString() == kCameraName &&
            readConfigValue("BaseOption/lastCameraAddress", QString()).toString() == kCameraAddress,
        "the linked camera was not remembered");
    // The probe keeps the link over several cycles.
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    client.check(camera->connected.load(), "link lost while the camera answers");
    return client.finish();
}

// A later start: nobody chooses; the search finds the remembered camera and
// links to it.
std::string nextStart(const std::string& ns, const QString& configDir) {
    ClientStart client;
    if (!client.enter(ns, configDir))
        return client.report;
    if (!client.check(eventually([&] { return client.camera->connected.load(); }, 10000),
                      "the remembered camera was not linked by itself"))
        return client.finish();
    client.checkLinked();
    const CameraRecord chosen = client.hub->selectedCamera.get();
    client.check(chosen.texts[0] == kCameraAddress && chosen.texts[1] == kCameraName,
                 "chosen camera " + chosen.texts[1].toStdString() + " at " +
                     chosen.texts[0].toStdString());
    return client.finish();
}

// Camsim in its namespace; each start of the client runs in a child process
// of its own, so that every start begins with fresh singletons.
class StationNamespaces : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to create network namespaces";
        if (!run("command -v ip"))
            GTEST_SKIP() << "needs the ip command (iproute2)";
        if (!QFile::exists(ORUN_CAMSIM_PATH))
            GTEST_SKIP() << "the camsim program is not built: " << ORUN_CAMSIM_PATH;
        const std::string failed = namespaces.create();
        if (!failed.empty())
            GTEST_SKIP() << "cannot set up the network namespaces: " << failed;
        ASSERT_TRUE(configDir.isValid());
        log = "/tmp/orun-netns-camsim-" + std::to_string(::getpid()) + ".log";
        ASSERT_TRUE(camsim.start(namespaces.camera, log)) << camsim.output();
    }
    void TearDown() override {
        camsim.stop();
        if (!log.empty())
            std::remove(log.c_str());
    }

    // Runs one start of the client in a child; its report (empty: all well).
    void startClient(const std::function<std::string(const std::string&, const QString&)>& start) {
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeFds[0]);
            ::alarm(60); // a hung client ends, and the parent reads its silence
            const std::string report = start(namespaces.client, configDir.path());
            if (::write(pipeFds[1], report.data(), report.size()) < 0)
                ::_exit(3);
            // Leave without running the singletons' destructors: their threads
            // belong to this child and end with it.
            ::_exit(report.empty() ? 0 : 1);
        }
        ::close(pipeFds[1]);
        std::string report;
        char buffer[512];
        ssize_t got;
        while ((got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
            report.append(buffer, static_cast<size_t>(got));
        ::close(pipeFds[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "client side: " << report << "camsim output:\n"
            << camsim.output();
        EXPECT_TRUE(report.empty()) << report;
    }

    NamespacePair namespaces;
    CamsimProcess camsim;
    QTemporaryDir configDir; // the client's program folder, kept across its starts
    std::string log;
};

} // namespace

TEST_F(StationNamespaces, BroadcastSearchListsTheCameraAndChoosingItLinks) {
    startClient(firstStart);
}

TEST_F(StationNamespaces, NextStartLinksTheLastCameraWithoutTheDialog) {
    startClient(firstStart);
    if (HasFailure())
        return;
    startClient(nextStart);
}
