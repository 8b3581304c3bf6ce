#pragma once

#include "ui/overlay/VideoControlOverlay.h"

namespace Ui {
class VideoControlBtnH4V3;
}

// The video control overlay for picture layout 2 (972 x 730 at design size).
class VideoControlBtnH4V3 : public VideoControlOverlay {
    Q_OBJECT
public:
    static VideoControlBtnH4V3* instance();
    ~VideoControlBtnH4V3() override;

private:
    VideoControlBtnH4V3();
    Ui::VideoControlBtnH4V3* ui;
};
