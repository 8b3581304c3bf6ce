#include "app/CameraLinkResources.h"

#include "app/Configuration.h"
#include "app/RunOptions.h"
#include "camera/NetworkAddresses.h"

#include <QFile>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

const char* stopVideoFile(int layout) {
    switch (layout) {
    case 1:
        return "/icon/stopVideo_9_16.png";
    case 2:
        return "/icon/stopVideo_4_3.png";
    case 3:
        return "/icon/stopVideo_3_4.png";
    case 4:
        return "/icon/stopVideo_1_1.png";
    default:
        return "/icon/stopVideo_16_9.png";
    }
}

} // namespace

Camera::HotspotAddresses configuredHotspotAddresses() {
    Camera::HotspotAddresses addresses;
    addresses.usbCamera = readConfigValue(QStringLiteral("BaseOption/usb"),
                                          QString::fromLatin1(Camera::kDefaultUsbCamera))
                              .toString()
                              .trimmed();
    addresses.wifiCamera = readConfigValue(QStringLiteral("BaseOption/wifi"),
                                           QString::fromLatin1(Camera::kDefaultWifiCamera))
                               .toString()
                               .trimmed();
    const std::optional<QString> camera = runOverrides().cameraAddress;
    if (camera) {
        const bool onWifi = addressPrefix(*camera) == addressPrefix(addresses.wifiCamera);
        addresses.usbCamera = onWifi ? QString() : *camera;
        addresses.wifiCamera = onWifi ? *camera : QString();
    }
    return addresses;
}

namespace {

const char* const kAutoConnectKey = "BaseOption/autoConnect";
const char* const kLastNameKey = "BaseOption/lastCameraName";
const char* const kLastAddressKey = "BaseOption/lastCameraAddress";

StationCamera lastCamera() {
    return StationCamera{
        readConfigValue(QLatin1String(kLastNameKey), QString()).toString(),
        readConfigValue(QLatin1String(kLastAddressKey), QString()).toString().trimmed()};
}

} // namespace

bool autoConnectEnabled() {
    return readConfigValue(QLatin1String(kAutoConnectKey), true).toBool();
}

StationCamera cameraToLinkAgain() {
    if (runOverrides().cameraAddress || !autoConnectEnabled())
        return StationCamera();
    return lastCamera();
}

void rememberLinkedCamera(const StationCamera& camera) {
    if (camera.isEmpty() || camera == lastCamera())
        return;
    writeConfigValue(QLatin1String(kLastNameKey), camera.name);
    writeConfigValue(QLatin1String(kLastAddressKey), camera.address);
}

cv::Mat stopVideoPicture(int layout) {
    const QString path = applicationBaseDir() + QLatin1String(stopVideoFile(layout));
    cv::Mat picture = cv::imread(QFile::encodeName(path).toStdString(), cv::IMREAD_COLOR);
    // Pictures travel in R, G, B order; OpenCV reads B, G, R.
    if (!picture.empty())
        cv::cvtColor(picture, picture, cv::COLOR_BGR2RGB);
    return picture;
}
