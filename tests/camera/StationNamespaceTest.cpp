// Station mode end to end across two network namespaces joined by a veth
// pair: the camsim program at 192.168.88.10 in one, the client's supervisor,
// transceiver and operation runtime at 192.168.88.20 in the other. The search
// broadcast finds the camera, the station query lists it, choosing it links.
// Needs root and iproute2; the namespaces are created and removed here, and
// no traffic leaves them.
#include "app/OrunAppRt.h"
#include "camera/Camera.h"
#include "hub/OrunAppFace.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>

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

// The client's side, run in a forked child after it entered the client
// namespace: every check that fails adds a line to the report.
std::string clientSide(const std::string& ns) {
    std::string report;
    auto check = [&report](bool ok, const std::string& what) {
        if (!ok)
            report += what + "\n";
        return ok;
    };

    // Before any socket exists: every socket of this process lives in the
    // client's namespace.
    const std::string path = "/var/run/netns/" + ns;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::setns(fd, CLONE_NEWNET) != 0)
        return "setns " + path + ": " + std::strerror(errno) + "\n";
    ::close(fd);

    OrunAppFace* hub = OrunAppFace::instance();
    hub->iWifiMode = 0;
    std::shared_ptr<Camera> camera = Camera::instance();
    camera->linkState = 0;

    std::mutex mutex;
    std::vector<std::string> mediaStarts;
    std::vector<int> statuses;
    std::atomic<int> decoderStarts{0};
    Camera::SupervisorHooks hooks; // the real interface list of the namespace
    hooks.synchronise = [] {};
    hooks.startMedia = [&](const std::string& a) {
        std::lock_guard<std::mutex> lock(mutex);
        mediaStarts.push_back(a);
    };
    hooks.stopMedia = [] {};
    hooks.startDecoder = [&] { ++decoderStarts; };
    camera->setSupervisorHooks(hooks);
    QObject::connect(
        hub, &OrunAppFace::signal_showConnectSatus, hub,
        [&](int s) {
            std::lock_guard<std::mutex> lock(mutex);
            statuses.push_back(s);
        },
        Qt::DirectConnection);
    auto lastStatus = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return statuses.empty() ? -99 : statuses.back();
    };

    std::shared_ptr<OrunAppRt> runtime = OrunAppRt::instance(); // runs operation 19
    camera->enableSupervisor(true);

    // The broadcast on 192.168.88.255 reaches the camera; its answer lists it
    // and the station query adds its record.
    auto listed = [&] {
        for (const CameraRecord& r : hub->cameraRecords()) {
            if (r.texts[0] == kCameraAddress && r.texts[1] == kCameraName)
                return true;
        }
        return false;
    };
    if (!check(eventually(listed, 10000), "the camera record was not added by the station query"))
        return report;
    // The supervisor takes the local address once the announcement is
    // answered, which may come after the record is listed.
    check(eventually([&] { return hub->sLocalAddress.get() == kClientAddress; }, 3000),
          "local address " + hub->sLocalAddress.get().toStdString());
    check(hub->lstOnlineCamera.get() == QStringList{kCameraAddress}, "online camera list");
    check(!camera->connected.load(), "linked by the search alone");
    check(eventually([&] { return lastStatus() == -1; }, 2000),
          "no disconnected status while searching");

    // The user chooses it.
    CameraRecord chosen;
    for (const CameraRecord& r : hub->cameraRecords()) {
        if (r.texts[0] == kCameraAddress)
            chosen = r;
    }
    hub->selectedCamera.set(chosen);
    camera->linkState = 1;
    if (!check(eventually([&] { return camera->connected.load(); }, 5000), "not linked"))
        return report;
    check(camera->linkState.load() == 2, "link state " + std::to_string(camera->linkState.load()));
    check(eventually([&] { return lastStatus() == 0; }, 2000),
          "connection status " + std::to_string(lastStatus()));
    check(hub->sCameraAddress.get() == kCameraAddress, "camera address");
    check(eventually([&] { return decoderStarts.load() == 1; }, 2000), "decoder not started");
    {
        std::lock_guard<std::mutex> lock(mutex);
        check(mediaStarts == std::vector<std::string>{kCameraAddress}, "media client address");
    }
    // The probe keeps the link over several cycles.
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    check(camera->connected.load(), "link lost while the camera answers");
    camera->enableSupervisor(false);
    return report;
}

} // namespace

TEST(StationNamespaces, BroadcastSearchListsTheCameraAndChoosingItLinks) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to create network namespaces";
    if (!run("command -v ip"))
        GTEST_SKIP() << "needs the ip command (iproute2)";
    if (!QFile::exists(ORUN_CAMSIM_PATH))
        GTEST_SKIP() << "the camsim program is not built: " << ORUN_CAMSIM_PATH;

    NamespacePair namespaces;
    const std::string failed = namespaces.create();
    if (!failed.empty())
        GTEST_SKIP() << "cannot set up the network namespaces: " << failed;

    CamsimProcess camsim;
    const std::string log = "/tmp/orun-netns-camsim-" + std::to_string(::getpid()) + ".log";
    ASSERT_TRUE(camsim.start(namespaces.camera, log)) << camsim.output();

    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        ::alarm(60); // a hung client ends, and the parent reads its silence
        const std::string report = clientSide(namespaces.client);
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
    camsim.stop();
    std::remove(log.c_str());
}
