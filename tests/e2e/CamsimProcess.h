#pragma once

// The camsim program as a separate process for the end-to-end tests: started
// with --log, its standard output parsed into request lines, its standard
// input used for the fault commands.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <vector>

struct LoggedRequest {
    int set = -1;
    int id = -1;
    QByteArray payload;
};

class CamsimProcess {
public:
    CamsimProcess();
    ~CamsimProcess();

    // Starts build/bin/camsim (with `extraArgs`, e.g. --video FILE) and waits
    // for its ready line.
    bool start(const QStringList& extraArgs = {});
    // Ends it with SIGTERM (SIGKILL after 3 s).
    void stop();
    // Ends it with SIGKILL, as a crash would.
    void kill();
    bool isRunning() const;

    // Sends one command line and waits for camsim's "applied" answer.
    bool command(const QString& line, int timeoutMs = 3000);
    // The video frames camsim has sent since it started (its `counters`
    // command); -1 when it did not answer.
    long long framesSent(int timeoutMs = 3000);
    // The media session requests camsim has heard (its `counters` command):
    // starts, stops and which came last; starts is -1 when it did not answer.
    struct MediaRequests {
        long long starts = -1;
        long long stops = -1;
        QString last; // "start", "stop", "property" or "none"
    };
    MediaRequests mediaRequests(int timeoutMs = 3000);

    // Requests seen since start (or since the mark), in arrival order.
    std::vector<LoggedRequest> requests() const;
    int count(int set, int id) const;
    // Remembers the current end of the log; the waits below look past it.
    void mark() { m_mark = m_requests.size(); }
    // Waits (running the event loop) for a request after the mark; returns
    // the first, or an empty request (set −1) on time-out.
    LoggedRequest waitFor(int set, int id, int timeoutMs);
    // Waits for the n-th request of this command after the mark.
    bool waitForCount(int set, int id, int n, int timeoutMs);
    // Requests of this command after the mark.
    std::vector<LoggedRequest> since(int set, int id) const;

    QStringList otherLines() const { return m_other; }

private:
    void readOutput();

    QProcess m_process;
    QByteArray m_pending;
    std::vector<LoggedRequest> m_requests;
    size_t m_mark = 0;
    QStringList m_other;
};
