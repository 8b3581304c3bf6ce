#pragma once

// Shared set-up of the tests that run the operation runtime and the state
// synchronisation against the simulated camera on 127.0.0.1.

#include "camera/Camera.h"
#include "camera/ControlFrame.h"
#include "camera/UDPTransciever.h"
#include "hub/OrunAppFace.h"
#include "tools/camsim/control/ControlCamera.h"

#include <gtest/gtest.h>

#include <QMetaObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <ostream>
#include <thread>
#include <vector>

// Readable failure messages for texts and text lists.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '{' << list.join(", ").toStdString() << '}';
}

// Records the hub signals the runtime and the synchronisation emit, in the
// emitting thread, as texts such as "doOperationFinished(2,0)".
class SignalLog {
public:
    SignalLog();
    ~SignalLog();
    SignalLog(const SignalLog&) = delete;
    SignalLog& operator=(const SignalLog&) = delete;

    QStringList entries() const;
    // Entries that start with `name`.
    QStringList named(const QString& name) const;
    int count(const QString& name) const { return named(name).size(); }
    // Waits until `n` entries named `name` are logged.
    bool waitFor(const QString& name, int n, int timeoutMs) const;
    void clear();

private:
    void add(const QString& entry);

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    QStringList log;
    bool closed = false;
    std::vector<QMetaObject::Connection> connections;
};

class CameraRig : public ::testing::Test {
protected:
    static camsim::CameraConfig fastConfig();
    void SetUp() override;
    void TearDown() override;

    // Waits until the request slot is free again.
    bool waitIdle(int timeoutMs);

    // Changes the simulated camera's state and lets the pushes it causes
    // arrive before the signal log is emptied.
    void prepareCamera(const std::function<void(camsim::CameraState&)>& change);

    static void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

    OrunAppFace* hub = nullptr;
    std::unique_ptr<camsim::ControlCamera> cam;
    std::unique_ptr<SignalLog> signals_;
};
