#pragma once

#include "ui/overlay/VideoControlOverlay.h"

namespace Ui {
class VideoControlBtnH16V9;
}

// The video control overlay for picture layout 0 (1297 x 730 at design size).
class VideoControlBtnH16V9 : public VideoControlOverlay {
    Q_OBJECT
public:
    static VideoControlBtnH16V9* instance();
    ~VideoControlBtnH16V9() override;

private:
    VideoControlBtnH16V9();
    Ui::VideoControlBtnH16V9* ui;
};
