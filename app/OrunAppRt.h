#pragma once

#include <QObject>

#include <memory>

// The operation runtime: one worker thread that polls the hub's request slot
// every 50 ms and runs one operation at a time.
class OrunAppRt : public QObject {
    Q_OBJECT
public:
    static std::shared_ptr<OrunAppRt> instance();
    ~OrunAppRt() override;

    // Clears `running`, waits up to 1000 ms for the loop to report, then joins.
    void stop();

private:
    OrunAppRt();
    // (members are added by the implementation)
};
