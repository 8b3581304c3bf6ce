#pragma once

#include "ui/overlay/VideoControlOverlay.h"

namespace Ui {
class VideoControlBtnH1V1;
}

// The video control overlay for picture layout 4 (730 x 730 at design size).
class VideoControlBtnH1V1 : public VideoControlOverlay {
    Q_OBJECT
public:
    static VideoControlBtnH1V1* instance();
    ~VideoControlBtnH1V1() override;

private:
    VideoControlBtnH1V1();
    Ui::VideoControlBtnH1V1* ui;
};
