#pragma once

// A private PipeWire session for the tests of the virtual camera: a runtime
// folder of its own (XDG_RUNTIME_DIR, set for this process too, so the
// program's PipeWire client and every tool started from here find it), a
// D-Bus session (dbus-run-session), the pipewire daemon and wireplumber.
// Consumers are GStreamer's pipewiresrc (gst-launch-1.0), nodes are found
// with pw-dump.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <csignal>
#include <memory>

class PipeWireSession {
public:
    PipeWireSession() {
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_previous = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", m_dir.path().toUtf8());
        qunsetenv("PIPEWIRE_REMOTE");
    }
    ~PipeWireSession() {
        stop();
        if (m_previous.isEmpty())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", m_previous);
    }

    // Why this machine cannot run the session's programs, or empty.
    static QString missingTools() {
        QStringList missing;
        for (const char* tool : {"pipewire", "wireplumber", "dbus-run-session", "pw-dump", "pw-cli",
                                 "gst-launch-1.0", "gst-inspect-1.0"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                missing << tool;
        if (!missing.isEmpty())
            return "not installed: " + missing.join(", ") +
                   " (Debian packages pipewire, wireplumber, dbus-bin, gstreamer1.0-tools)";
        QProcess inspect;
        inspect.start("gst-inspect-1.0", {"pipewiresrc"});
        if (!inspect.waitForFinished(10000) || inspect.exitCode() != 0)
            return "GStreamer has no pipewiresrc (Debian package gstreamer1.0-pipewire)";
        return QString();
    }

    // Starts the daemon and the session manager; empty when both run, else
    // why not (what the daemon said).
    QString start() {
        const QString missing = missingTools();
        if (!missing.isEmpty())
            return missing;
        m_daemonPid = 0;
        m_output.clear();
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(m_process.get(), &QProcess::readyRead, [this] {
            m_output += m_process->readAll();
            const int at = m_output.indexOf("pipewire-pid ");
            if (at >= 0 && m_daemonPid == 0)
                m_daemonPid =
                    m_output.mid(at + 13, m_output.indexOf('\n', at) - at - 13).toLongLong();
        });
        // wireplumber starts once the daemon answers. The session ends when
        // its standard input does (stop(), or this process ending however
        // it ends): nothing of it outlives the test.
        const QString script =
            "pipewire & pw=$!; echo \"pipewire-pid $pw\"; "
            "n=0; until pw-cli info 0 >/dev/null 2>&1; do "
            "  n=$((n+1)); if [ $n -gt 100 ] || ! kill -0 $pw 2>/dev/null; then "
            "    echo 'pipewire did not start'; kill $pw 2>/dev/null; wait; exit 3; fi; "
            "  sleep 0.05; done; "
            "wireplumber & wp=$!; echo session-ready; "
            "read line; kill $wp $pw 2>/dev/null; wait";
        m_process->start("dbus-run-session", {"--", "sh", "-c", script});
        if (!m_process->waitForStarted(5000))
            return "dbus-run-session did not start";
        const bool ready = QTest::qWaitFor(
            [this] {
                return m_output.contains("session-ready") ||
                       m_process->state() == QProcess::NotRunning;
            },
            10000);
        if (!ready || !m_output.contains("session-ready"))
            return "no PipeWire daemon could run here: " + QString::fromUtf8(m_output).trimmed();
        // The session manager is there once it has its client.
        if (!QTest::qWaitFor([this] { return dumpHas("WirePlumber"); }, 10000))
            return "wireplumber did not come up: " + QString::fromUtf8(m_output).trimmed();
        return QString();
    }

    void stop() {
        if (!m_process || m_process->state() == QProcess::NotRunning)
            return;
        m_process->closeWriteChannel();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(3000);
        }
    }

    // Kills the daemon as a crash would (the session manager follows).
    void killDaemon() {
        if (m_daemonPid > 0)
            ::kill(static_cast<pid_t>(m_daemonPid), SIGKILL);
    }

    QString runtimeDir() const { return m_dir.path(); }

    // pw-dump's objects, or none when it did not answer.
    static QJsonArray dump() {
        QProcess p;
        p.start("pw-dump", QStringList());
        if (!p.waitForFinished(10000) || p.exitCode() != 0)
            return QJsonArray();
        return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
    }

    // The properties of the node called `name`, empty when there is none.
    static QJsonObject nodeProps(const QString& name, int* id = nullptr) {
        for (const QJsonValue& v : dump()) {
            const QJsonObject o = v.toObject();
            if (o["type"].toString() != "PipeWire:Interface:Node")
                continue;
            const QJsonObject props = o["info"].toObject()["props"].toObject();
            if (props["node.name"].toString() == name) {
                if (id)
                    *id = o["id"].toInt();
                return props;
            }
        }
        return QJsonObject();
    }

    // Waits for the node called `name`; its id, or -1.
    static int waitForNode(const QString& name, int timeoutMs = 10000) {
        int id = -1;
        if (!QTest::qWaitFor([&] { return !nodeProps(name, &id).isEmpty(); }, timeoutMs))
            return -1;
        return id;
    }

    static bool waitForNodeGone(const QString& name, int timeoutMs = 5000) {
        return QTest::qWaitFor([&] { return nodeProps(name).isEmpty(); }, timeoutMs);
    }

private:
    static bool dumpHas(const QString& applicationName) {
        for (const QJsonValue& v : dump()) {
            const QJsonObject o = v.toObject();
            if (o["type"].toString() == "PipeWire:Interface:Client" &&
                o["info"].toObject()["props"].toObject()["application.name"].toString() ==
                    applicationName)
                return true;
        }
        return false;
    }

    QTemporaryDir m_dir;
    QByteArray m_previous;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_output;
    qint64 m_daemonPid = 0;
};

// GStreamer's pipewiresrc reading `frames` pictures of `format` from node
// `id` into a file, as a meeting program's camera input would.
class PipeWireConsumer {
public:
    PipeWireConsumer() { m_process.setProcessChannelMode(QProcess::MergedChannels); }
    ~PipeWireConsumer() { stop(); }

    // Reads into `file` (a file of the test's own, replaced), or into
    // GStreamer's fakesink when it is empty.
    bool start(int id, const QString& format, int frames, const QString& file = QString()) {
        m_file = file;
        if (!file.isEmpty())
            QFile::remove(file);
        // gst-launch ends with its standard input too (stop(), or this
        // process ending however it ends), through a small shell around it
        // that tells its process id.
        const QString wrapper = "exec 3<&0; gst-launch-1.0 \"$@\" </dev/null & g=$!; "
                                "echo \"gst-pid $g\"; { read l <&3; kill $g 2>/dev/null; } & "
                                "r=$!; wait $g; s=$?; kill $r 2>/dev/null; exit $s";
        QStringList pipeline = {"-c",
                                wrapper,
                                "sh",
                                "-q",
                                "pipewiresrc",
                                QString("path=%1").arg(id),
                                QString("num-buffers=%1").arg(frames),
                                "!",
                                QString("video/x-raw,format=%1").arg(format),
                                "!"};
        if (file.isEmpty())
            pipeline << "fakesink";
        else
            pipeline << "filesink"
                     << "location=" + file;
        m_process.start("sh", pipeline);
        return m_process.waitForStarted(5000);
    }
    // Stops the consumer where it is (SIGSTOP), as a program that hangs:
    // it reads nothing more and keeps the buffers it holds.
    bool pause() {
        const qint64 pid = gstPid();
        return pid > 0 && ::kill(static_cast<pid_t>(pid), SIGSTOP) == 0;
    }
    bool waitForFinished(int timeoutMs) {
        return QTest::qWaitFor([&] { return m_process.state() == QProcess::NotRunning; },
                               timeoutMs) &&
               m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }
    qint64 bytes() const { return m_file.isEmpty() ? 0 : QFileInfo(m_file).size(); }
    QByteArray output() {
        m_output += m_process.readAll();
        return m_output;
    }
    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        const qint64 pid = gstPid();
        if (pid > 0)
            ::kill(static_cast<pid_t>(pid), SIGCONT);
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000)) {
            if (pid > 0)
                ::kill(static_cast<pid_t>(pid), SIGKILL);
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

private:
    // gst-launch's process id, once the shell has told it.
    qint64 gstPid() {
        if (!QTest::qWaitFor([&] { return output().contains("gst-pid "); }, 3000))
            return 0;
        const int at = m_output.indexOf("gst-pid ");
        return m_output.mid(at + 8, m_output.indexOf('\n', at) - at - 8).toLongLong();
    }

    QProcess m_process;
    QString m_file;
    QByteArray m_output;
};
