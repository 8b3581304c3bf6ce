#include "ui/VideoMaskWidget.h"
#include "ui_VideoMaskWidget.h"

#include "ui/IconResources.h"
#include "ui/MovieWhileShown.h"

#include <QMovie>
#include <QPointer>

namespace {
constexpr int kIndicatorSize = 64;
}

VideoMaskWidget* VideoMaskWidget::instance() {
    static QPointer<VideoMaskWidget> mask;
    if (mask.isNull())
        mask = new VideoMaskWidget();
    return mask;
}

VideoMaskWidget::VideoMaskWidget(QWidget* parent) : QWidget(parent), ui(new Ui::VideoMaskWidget) {
    ++m_setupDepth;
    initIconResources();
    ui->setupUi(this);
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
    m_movie = new QMovie(":/icon/loading.gif", QByteArray(), this);
    ui->lbLoading->setScaledContents(true);
    playWhileShown(ui->lbLoading, m_movie);
    --m_setupDepth;
    placeIndicator();
}

VideoMaskWidget::~VideoMaskWidget() {
    delete ui;
}

QRect VideoMaskWidget::indicatorGeometry() const {
    return ui->lbLoading->geometry();
}

void VideoMaskWidget::placeIndicator() {
    ui->lbLoading->setGeometry(width() / 2 - kIndicatorSize / 2, height() / 2 - kIndicatorSize / 2,
                               kIndicatorSize, kIndicatorSize);
}

void VideoMaskWidget::resizeEvent(QResizeEvent*) {
    if (m_setupDepth > 0)
        return;
    placeIndicator();
}

void VideoMaskWidget::mouseMoveEvent(QMouseEvent*) {
    setCursor(Qt::ArrowCursor);
}
