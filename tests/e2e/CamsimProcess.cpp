#include "CamsimProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QtTest/QTest>

CamsimProcess::CamsimProcess() {
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { readOutput(); });
}

CamsimProcess::~CamsimProcess() {
    stop();
}

bool CamsimProcess::start(const QStringList& extraArgs) {
    m_pending.clear();
    m_requests.clear();
    m_mark = 0;
    m_other.clear();
    // Tests run in build/bin, beside the program.
    m_process.start(QDir::currentPath() + "/camsim",
                    QStringList{"--address", "127.0.0.1", "--log", "--exit-with-parent"} +
                        extraArgs);
    if (!m_process.waitForStarted(5000))
        return false;
    return QTest::qWaitFor(
               [this] {
                   for (const QString& l : m_other)
                       if (l.startsWith("camsim: control on"))
                           return true;
                   return m_process.state() != QProcess::Running;
               },
               5000) &&
           m_process.state() == QProcess::Running;
}

void CamsimProcess::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

void CamsimProcess::kill() {
    m_process.kill();
    m_process.waitForFinished(3000);
}

bool CamsimProcess::isRunning() const {
    return m_process.state() == QProcess::Running;
}

bool CamsimProcess::command(const QString& line, int timeoutMs) {
    const QString answer = "camsim: applied " + line;
    const int before = m_other.size();
    m_process.write((line + "\n").toUtf8());
    return QTest::qWaitFor(
        [&] {
            for (int i = before; i < m_other.size(); ++i)
                if (m_other[i] == answer)
                    return true;
            return false;
        },
        timeoutMs);
}

namespace {

// camsim's answer to `counters`: the line before its "applied" answer.
QRegularExpressionMatch lastCounters(const QStringList& lines) {
    static const QRegularExpression re("^camsim: frames-sent (\\d+) sessions \\d+ starts (\\d+) "
                                       "stops (\\d+) last-request (\\w+)$");
    for (int i = lines.size() - 1; i >= 0; --i) {
        QRegularExpressionMatch m = re.match(lines[i]);
        if (m.hasMatch())
            return m;
    }
    return {};
}

} // namespace

long long CamsimProcess::framesSent(int timeoutMs) {
    if (!command("counters", timeoutMs))
        return -1;
    const QRegularExpressionMatch m = lastCounters(m_other);
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

CamsimProcess::MediaRequests CamsimProcess::mediaRequests(int timeoutMs) {
    MediaRequests r;
    if (!command("counters", timeoutMs))
        return r;
    const QRegularExpressionMatch m = lastCounters(m_other);
    if (m.hasMatch()) {
        r.starts = m.captured(2).toLongLong();
        r.stops = m.captured(3).toLongLong();
        r.last = m.captured(4);
    }
    return r;
}

void CamsimProcess::readOutput() {
    static const QRegularExpression re(
        "^request set=(\\d+) id=0x([0-9A-F]+) seq=\\d+ from=\\S+ payload=([0-9A-F]*)$");
    m_pending += m_process.readAllStandardOutput();
    int nl;
    while ((nl = m_pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_pending.left(nl));
        m_pending.remove(0, nl + 1);
        const QRegularExpressionMatch m = re.match(line);
        if (m.hasMatch()) {
            LoggedRequest r;
            r.set = m.captured(1).toInt();
            r.id = m.captured(2).toInt(nullptr, 16);
            r.payload = QByteArray::fromHex(m.captured(3).toLatin1());
            m_requests.push_back(r);
        } else {
            m_other << line;
        }
    }
}

std::vector<LoggedRequest> CamsimProcess::requests() const {
    return m_requests;
}

int CamsimProcess::count(int set, int id) const {
    int n = 0;
    for (const LoggedRequest& r : m_requests)
        n += r.set == set && r.id == id ? 1 : 0;
    return n;
}

std::vector<LoggedRequest> CamsimProcess::since(int set, int id) const {
    std::vector<LoggedRequest> out;
    for (size_t i = m_mark; i < m_requests.size(); ++i)
        if (m_requests[i].set == set && m_requests[i].id == id)
            out.push_back(m_requests[i]);
    return out;
}

LoggedRequest CamsimProcess::waitFor(int set, int id, int timeoutMs) {
    (void)QTest::qWaitFor([&] { return !since(set, id).empty(); }, timeoutMs);
    const auto found = since(set, id);
    return found.empty() ? LoggedRequest() : found.front();
}

bool CamsimProcess::waitForCount(int set, int id, int n, int timeoutMs) {
    return QTest::qWaitFor([&] { return static_cast<int>(since(set, id).size()) >= n; }, timeoutMs);
}
