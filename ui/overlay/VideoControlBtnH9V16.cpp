#include "ui/overlay/VideoControlBtnH9V16.h"

#include "ui_VideoControlBtnH9V16.h"

VideoControlBtnH9V16* VideoControlBtnH9V16::instance() {
    // Created on first use and never deleted; the main window re-parents it.
    static VideoControlBtnH9V16* overlay = new VideoControlBtnH9V16();
    return overlay;
}

VideoControlBtnH9V16::VideoControlBtnH9V16()
    : VideoControlOverlay(1), ui(new Ui::VideoControlBtnH9V16) {
    ui->setupUi(this);
    attachForm();
}

VideoControlBtnH9V16::~VideoControlBtnH9V16() {
    delete ui;
}
