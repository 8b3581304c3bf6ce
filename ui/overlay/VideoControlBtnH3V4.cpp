#include "ui/overlay/VideoControlBtnH3V4.h"

#include "ui_VideoControlBtnH3V4.h"

VideoControlBtnH3V4* VideoControlBtnH3V4::instance() {
    // Created on first use and never deleted; the main window re-parents it.
    static VideoControlBtnH3V4* overlay = new VideoControlBtnH3V4();
    return overlay;
}

VideoControlBtnH3V4::VideoControlBtnH3V4()
    : VideoControlOverlay(3), ui(new Ui::VideoControlBtnH3V4) {
    ui->setupUi(this);
    attachForm();
}

VideoControlBtnH3V4::~VideoControlBtnH3V4() {
    delete ui;
}
