#include "ui/overlay/VideoControlBtnH1V1.h"

#include "ui_VideoControlBtnH1V1.h"

VideoControlBtnH1V1* VideoControlBtnH1V1::instance() {
    // Created on first use and never deleted; the main window re-parents it.
    static VideoControlBtnH1V1* overlay = new VideoControlBtnH1V1();
    return overlay;
}

VideoControlBtnH1V1::VideoControlBtnH1V1()
    : VideoControlOverlay(4), ui(new Ui::VideoControlBtnH1V1) {
    ui->setupUi(this);
    attachForm();
}

VideoControlBtnH1V1::~VideoControlBtnH1V1() {
    delete ui;
}
