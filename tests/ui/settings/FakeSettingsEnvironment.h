#pragma once

#include "ui/settings/SettingsEnvironment.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

// Stand-in for the camera object, decoder, media client, configuration file
// and mask; every call is logged in order.
class FakeEnvironment : public SettingsEnvironment {
public:
    bool connected = true;
    int link = 2;
    QMap<QString, QVariant> config;
    QStringList calls;

    bool cameraConnected() const override { return connected; }
    void setCameraConnected(bool c) override {
        connected = c;
        calls << QStringLiteral("connected=%1").arg(c);
    }
    int linkState() const override { return link; }
    void setLinkState(int s) override {
        link = s;
        calls << QStringLiteral("link=%1").arg(s);
    }
    void pauseVideo() override { calls << "pause"; }
    void resumeVideo() override { calls << "resume"; }
    void rebuildDecoder() override { calls << "rebuild"; }
    void stopMediaClient() override { calls << "stop"; }
    void kickMediaClient() override { calls << "kick"; }
    QVariant readConfig(const QString& key, const QVariant& fallback) const override {
        return config.value(key, fallback);
    }
    void writeConfig(const QString& key, const QVariant& value) override {
        config[key] = value;
        calls << "write " + key;
    }
    void showMask() override { calls << "mask"; }
    void hideMask() override { calls << "unmask"; }
};
