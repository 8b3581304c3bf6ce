#include "ui/overlay/VideoControlBtnH4V3.h"

#include "ui_VideoControlBtnH4V3.h"

VideoControlBtnH4V3* VideoControlBtnH4V3::instance() {
    // Created on first use and never deleted; the main window re-parents it.
    static VideoControlBtnH4V3* overlay = new VideoControlBtnH4V3();
    return overlay;
}

VideoControlBtnH4V3::VideoControlBtnH4V3()
    : VideoControlOverlay(2), ui(new Ui::VideoControlBtnH4V3) {
    ui->setupUi(this);
    attachForm();
}

VideoControlBtnH4V3::~VideoControlBtnH4V3() {
    delete ui;
}
