#pragma once

#include "ui/overlay/VideoControlOverlay.h"

namespace Ui {
class VideoControlBtnH9V16;
}

// The video control overlay for picture layout 1 (410 x 730 at design size).
class VideoControlBtnH9V16 : public VideoControlOverlay {
    Q_OBJECT
public:
    static VideoControlBtnH9V16* instance();
    ~VideoControlBtnH9V16() override;

private:
    VideoControlBtnH9V16();
    Ui::VideoControlBtnH9V16* ui;
};
