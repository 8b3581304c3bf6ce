#pragma once

#include <QString>
#include <QVariant>

// What the settings dialogs need from the rest of the program besides the
// event hub: the camera object's link flags, the decoder and the media client,
// the configuration file and the loading mask. The standard environment
// forwards to the process-wide objects; tests pass their own.
class SettingsEnvironment {
public:
    virtual ~SettingsEnvironment() = default;

    // The camera object's `connected` flag and `linkState` value.
    virtual bool cameraConnected() const = 0;
    virtual void setCameraConnected(bool connected) = 0;
    virtual int linkState() const = 0;
    virtual void setLinkState(int state) = 0;

    // The decoder controller around a resolution change.
    virtual void pauseVideo() = 0;
    virtual void resumeVideo() = 0;
    // The decoder controller after the decoder choice changed: a new decoder
    // is built off the graphical thread, and hardware that failed before is
    // tried again.
    virtual void rebuildDecoder() = 0;

    // The media client, restarted after a layout change.
    virtual void stopMediaClient() = 0;
    virtual void kickMediaClient() = 0;

    // BaseOption/<key> of the configuration file.
    virtual QVariant readConfig(const QString& key, const QVariant& fallback) const = 0;
    virtual void writeConfig(const QString& key, const QVariant& value) = 0;

    // The loading mask over the video area.
    virtual void showMask() = 0;
    virtual void hideMask() = 0;

    // The environment backed by the process-wide singletons.
    static SettingsEnvironment& standard();
};
