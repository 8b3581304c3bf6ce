#pragma once

// The program's log lines (qDebug, qInfo, qWarning) while a test runs, for
// the test to look at; they still go where they went before.

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <mutex>

// Debug-log lines of the program while a test runs.
class LogLines {
public:
    LogLines() {
        instance() = this;
        m_previous = qInstallMessageHandler(&LogLines::handle);
    }
    ~LogLines() {
        qInstallMessageHandler(m_previous);
        instance() = nullptr;
    }
    bool contains(const QString& part) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const QString& l : m_lines)
            if (l.contains(part))
                return true;
        return false;
    }

private:
    static LogLines*& instance() {
        static LogLines* current = nullptr;
        return current;
    }
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (LogLines* self = instance()) {
            {
                std::lock_guard<std::mutex> lock(self->m_mutex);
                self->m_lines << text;
            }
            if (self->m_previous)
                self->m_previous(type, context, text);
        }
    }
    mutable std::mutex m_mutex;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};
