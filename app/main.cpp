#include "app/OrunAppFace.h"
#include "ui/OrunAppUI.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    qRegisterMetaType<cv::Mat>("cv::Mat");
    qRegisterMetaType<Orun_Camera_CurrStatus>("Orun_Camera_CurrStatus");

    auto* window = new OrunAppUI();
    window->show();
    OrunAppFace::instance()->uiActive = true;

    const int result = app.exec();
    delete window;
    return result;
}
