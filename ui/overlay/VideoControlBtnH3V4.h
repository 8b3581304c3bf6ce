#pragma once

#include "ui/overlay/VideoControlOverlay.h"

namespace Ui {
class VideoControlBtnH3V4;
}

// The video control overlay for picture layout 3 (548 x 730 at design size).
class VideoControlBtnH3V4 : public VideoControlOverlay {
    Q_OBJECT
public:
    static VideoControlBtnH3V4* instance();
    ~VideoControlBtnH3V4() override;

private:
    VideoControlBtnH3V4();
    Ui::VideoControlBtnH3V4* ui;
};
