#include "app/OrunAppRt.h"
#include "camera/Camera.h"
#include "hub/OrunAppFace.h"
#include "program/Composition.h"
#include "ui/OrunAppUI.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    qRegisterMetaType<cv::Mat>("cv::Mat");
    qRegisterMetaType<Orun_Camera_CurrStatus>("Orun_Camera_CurrStatus");

    // The window's construction reads the configuration and loads the language.
    auto* window = new OrunAppUI();
    window->show();
    OrunAppFace::instance()->uiActive = true;

    // Every layer gets what it needs from those above it before the threads
    // that use it go.
    composeProgram();
    // Both start their threads on construction; the singletons keep them.
    OrunAppRt::instance();
    // The supervisor thread idles until enabled; the program wants it to go
    // and find the camera.
    Camera::instance()->enableSupervisor(true);

    const int result = app.exec();
    delete window;
    return result;
}
