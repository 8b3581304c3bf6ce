#pragma once

// The debug-log lines written while an instance lives (from any thread).

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <mutex>

class LogCapture {
public:
    LogCapture() {
        current() = this;
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() {
        qInstallMessageHandler(m_previous);
        current() = nullptr;
    }
    QStringList lines() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    bool contains(const QString& part) const { return !lines().filter(part).isEmpty(); }

private:
    static LogCapture*& current() {
        static LogCapture* capture = nullptr;
        return capture;
    }
    static void handle(QtMsgType, const QMessageLogContext&, const QString& text) {
        if (LogCapture* capture = current()) {
            std::lock_guard<std::mutex> lock(capture->m_mutex);
            capture->m_lines << text;
        }
    }

    mutable std::mutex m_mutex;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};
