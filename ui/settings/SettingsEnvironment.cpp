#include "ui/settings/SettingsEnvironment.h"

#include "app/Configuration.h"
#include "camera/Camera.h"
#include "kcpclient/KcpWrapper.h"
#include "ui/VideoMaskWidget.h"
#include "ui/settings/GeneralSettingsDlg.h"
#include "video/videoctl.h"

namespace {

class StandardEnvironment : public SettingsEnvironment {
public:
    bool cameraConnected() const override { return Camera::instance()->connected.load(); }
    void setCameraConnected(bool connected) override {
        Camera::instance()->connected.store(connected);
        videoctl::instance()->setLinkUp(connected);
    }
    int linkState() const override { return Camera::instance()->linkState.load(); }
    void setLinkState(int state) override { Camera::instance()->linkState.store(state); }

    void pauseVideo() override { videoctl::instance()->pauseAndReinit(); }
    void resumeVideo() override { videoctl::instance()->resume(); }
    void rebuildDecoder() override { videoctl::instance()->rebuildDecoder(true); }

    void stopMediaClient() override { KcpWrapper::instance()->stop(); }
    void kickMediaClient() override { KcpWrapper::instance()->kick(); }

    QVariant readConfig(const QString& key, const QVariant& fallback) const override {
        return readConfigValue(QStringLiteral("BaseOption/") + key, fallback);
    }
    void writeConfig(const QString& key, const QVariant& value) override {
        writeConfigValue(QStringLiteral("BaseOption/") + key, value);
    }

    void showMask() override {
        VideoMaskWidget::instance()->show();
        VideoMaskWidget::instance()->raise();
    }
    void hideMask() override { VideoMaskWidget::instance()->hide(); }
};

} // namespace

SettingsEnvironment& SettingsEnvironment::standard() {
    static StandardEnvironment environment;
    return environment;
}

// Kept here rather than beside the other members so that a program which
// builds the dialog with an environment of its own (the tests) does not pull
// in the camera, decoder and media client.
GeneralSettingsDlg::GeneralSettingsDlg(QWidget* parent)
    : GeneralSettingsDlg(SettingsEnvironment::standard(), parent) {}
