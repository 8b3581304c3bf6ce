#pragma once

#include "hub/WorkerThread.h"

#include <QObject>

#include <memory>

// The operation runtime: one worker thread that takes the hub's request slot
// as soon as a request is posted, sleeps until the next post, and runs one
// operation at a time.
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
    // Runs one handler, frees the slot and reports the result to `who`, the
    // requester of the request the handler runs for.
    void finishStep(int code, int who, int& ec);

    WorkerThread worker;
};
