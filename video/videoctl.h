#pragma once

#include <QObject>

// The decoder controller: fetch, decode and display threads that turn the
// camera's H.264 stream into RGB pictures for the video widget. One instance
// per process, never destroyed.
class videoctl : public QObject {
    Q_OBJECT
public:
    static videoctl* instance();

    bool start();
    void pauseAndReinit();
    void resume();
    void stop();

public slots:
    void slot_randerFinished(bool b);
    void slot_resetVideoKcpClient();

private:
    videoctl();
    // (members are added by the implementation)
};
