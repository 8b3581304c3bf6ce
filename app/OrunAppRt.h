#pragma once

#include <QObject>

#include <atomic>
#include <memory>
#include <thread>

// The operation runtime: one worker thread that polls the hub's request slot
// every 50 ms and runs one operation at a time.
class OrunAppRt : public QObject {
    Q_OBJECT
public:
    static std::shared_ptr<OrunAppRt> instance();
    ~OrunAppRt() override;

    // Clears `running`, waits up to 1000 ms for the loop to report, then joins.
    void stop();

    // Whether an operation code reports its outcome with signal_doOperationFinished.
    static bool reportsResult(int code);

private:
    OrunAppRt();
    void operationLoop();
    // Runs one handler, frees the slot and reports, as the loop does for each request.
    void finishStep(int code, int& ec);

    std::shared_ptr<std::thread> worker;
    std::atomic<bool> running{true};
    std::atomic<bool> stopped{false};
};
