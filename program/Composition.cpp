#include "program/Composition.h"

#include "app/CameraLinkResources.h"
#include "app/CameraStateSync.h"
#include "app/CaptureControl.h"
#include "app/DeviceMessages.h"
#include "app/GamepadControl.h"
#include "app/OrunAppRt.h"
#include "app/RunOptions.h"
#include "app/ViscaControl.h"
#include "camera/CameraReplyParsers.h"
#include "kcpclient/KcpWrapper.h"
#include "video/videoctl.h"

#include <QGuiApplication>

Camera::SupervisorHooks programSupervisorHooks() {
    Camera::SupervisorHooks hooks;
    hooks.synchronise = [] { syncCameraState(); };
    hooks.startMedia = [](const std::string& address) {
        std::shared_ptr<KcpWrapper> media = KcpWrapper::instance();
        media->set_address(address);
        media->kick();
    };
    hooks.stopMedia = [] { KcpWrapper::instance()->stop(); };
    hooks.startDecoder = [] { videoctl::instance()->start(); };
    hooks.linkChanged = [](bool up) { videoctl::instance()->setLinkUp(up); };
    hooks.hotspotAddresses = [] { return configuredHotspotAddresses(); };
    hooks.stopPicture = [](int layout) { return stopVideoPicture(layout); };
    hooks.rememberedCamera = [] { return cameraToLinkAgain(); };
    hooks.stationCameraLinked = [](const StationCamera& camera) { rememberLinkedCamera(camera); };
    return hooks;
}

void startProgram() {
    // Every layer gets what it needs from those above it before the threads
    // that use it go.
    composeProgram();
    // The runtime starts its thread on construction; the singleton keeps it.
    OrunAppRt::instance();
    // The supervisor thread idles until enabled.
    Camera::instance()->enableSupervisor(true);
    // Capture asked for on the command line: the writers wait for the stream.
    const RunOverrides run = runOverrides();
    if (run.record)
        CaptureControl::instance()->startRecording();
    if (run.liveOutput)
        CaptureControl::instance()->startLiveOutput();
    if (run.virtualCamera || CaptureSettings::load().webcamAtStart)
        CaptureControl::instance()->startWebcam();
    // Controllers of other programs, when asked for; off, no socket opens.
    const ControlSettings control = ControlSettings::effective();
    startViscaControl(control);
    // Game controllers, when asked for; they count while the window is in
    // front (unless the settings let them work behind other windows too).
    GamepadControl* gamepads = GamepadControl::instance();
    gamepads->followApplicationState(QGuiApplication::applicationState());
    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, gamepads,
                     &GamepadControl::followApplicationState, Qt::UniqueConnection);
    gamepads->apply(control);
}

void composeProgram() {
    Camera::instance()->setSupervisorHooks(programSupervisorHooks());
    DeviceReportHooks reports;
    reports.statusReport = [](const Orun_Camera_CurrStatus& status) { applyStatusReport(status); };
    reports.batteryReport = [](int level) { applyBatteryReport(level); };
    setDeviceReportHooks(reports);
    videoctl::instance()->setMediaClient(KcpWrapper::instance());
    CaptureControl::instance()->setVideoHooks(captureVideoHooks());
}

CaptureControl::VideoHooks captureVideoHooks() {
    CaptureControl::VideoHooks hooks;
    videoctl* video = videoctl::instance();
    hooks.addUnitSink = [video](std::shared_ptr<UnitSink> sink) {
        video->addUnitSink(std::move(sink));
    };
    hooks.removeUnitSink = [video](const std::shared_ptr<UnitSink>& sink) {
        video->removeUnitSink(sink);
    };
    hooks.addPictureSink = [video](std::shared_ptr<PictureSink> sink) {
        video->addPictureSink(std::move(sink));
    };
    hooks.removePictureSink = [video](const std::shared_ptr<PictureSink>& sink) {
        video->removePictureSink(sink);
    };
    return hooks;
}
