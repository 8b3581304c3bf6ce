#include "ui/overlay/VideoControlBtnH16V9.h"

#include "ui_VideoControlBtnH16V9.h"

VideoControlBtnH16V9* VideoControlBtnH16V9::instance() {
    // Created on first use and never deleted; the main window re-parents it.
    static VideoControlBtnH16V9* overlay = new VideoControlBtnH16V9();
    return overlay;
}

VideoControlBtnH16V9::VideoControlBtnH16V9()
    : VideoControlOverlay(0), ui(new Ui::VideoControlBtnH16V9) {
    ui->setupUi(this);
    attachForm();
}

VideoControlBtnH16V9::~VideoControlBtnH16V9() {
    delete ui;
}
