#include "ui/StatsOverlay.h"

#include <QStringList>

namespace {

constexpr int kIntervalMs = 1000;

QString number(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

} // namespace

StatsOverlay::StatsOverlay(QWidget* parent, Sampler sampler)
    : QLabel(parent), m_sampler(std::move(sampler)) {
    setObjectName(QStringLiteral("lbStatistics"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setTextFormat(Qt::RichText);
    setStyleSheet(QStringLiteral("#lbStatistics{background-color: rgba(0, 0, 0, 170);"
                                 "color: rgb(235, 235, 235);border-radius: 6px;"
                                 "padding: 6px 9px;font-size: 12px;}"));
    setAccessibleName(tr("统计信息"));
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &StatsOverlay::refresh);
}

void StatsOverlay::showEvent(QShowEvent* event) {
    QLabel::showEvent(event);
    // Rates need two readings: the first one is taken now.
    m_hasPrevious = false;
    refresh();
    m_timer.start();
}

void StatsOverlay::hideEvent(QHideEvent* event) {
    m_timer.stop();
    QLabel::hideEvent(event);
}

void StatsOverlay::refresh() {
    if (!m_sampler)
        return;
    const StatsSample now = m_sampler();
    const bool ratesKnown = m_hasPrevious && now.atUs > m_previous.atUs;
    m_report = describeStatistics(ratesKnown ? m_previous : now, now);
    m_previous = now;
    m_hasPrevious = true;
    setText(describe(m_report, ratesKnown));
    adjustSize();
}

QString StatsOverlay::describe(const StatsReport& r, bool ratesKnown) {
    auto rate = [ratesKnown](double value, int decimals) {
        return ratesKnown ? number(value, decimals) : QStringLiteral("–");
    };
    QStringList lines;
    switch (r.linkState) {
    case MediaLinkState::NoCamera:
        lines << QStringLiteral("<b style=\"color:#ffcc33\">%1</b>").arg(tr("未连接相机"));
        break;
    case MediaLinkState::Connecting:
        lines << QStringLiteral("<b style=\"color:#ffcc33\">%1</b>")
                     .arg(tr("正在连接媒体链路…(第 %1 次)").arg(r.attempts));
        break;
    case MediaLinkState::Reconnecting:
        lines << QStringLiteral("<b style=\"color:#ffcc33\">%1</b>")
                     .arg(tr("媒体链路重连中…(第 %1 次)").arg(r.attempts));
        break;
    case MediaLinkState::Streaming:
        break;
    }
    const QString size =
        r.width > 0 ? QStringLiteral("%1×%2").arg(r.width).arg(r.height) : QStringLiteral("–");
    lines << tr("视频 %1 · 接收 %2 · 解码 %3 · 显示 %4 帧/秒")
                 .arg(size, rate(r.receivedFps, 1), rate(r.decodedFps, 1), rate(r.shownFps, 1));
    const QString perPicture = ratesKnown && r.decodeMsPerPicture >= 0
                                   ? number(r.decodeMsPerPicture, 1)
                                   : QStringLiteral("–");
    QString decoder =
        tr("码率 %1 Mbit/s · 解码器 %2, %3 ms/帧")
            .arg(rate(r.bitRateKbps / 1000.0, 2), QString::fromLatin1(r.decoder), perPicture);
    if (r.decoderSwitches > 0)
        decoder += QLatin1Char(' ') + tr("(已更换 %1 次)").arg(r.decoderSwitches);
    lines << decoder;
    if (!r.unusedHardware.empty())
        lines << tr("未使用的硬件解码: %1")
                     .arg(QString::fromStdString(r.unusedHardware).toHtmlEscaped());
    lines << tr("链路 丢失 %1 段 (%2%) · 重传 %3 · 重复 %4")
                 .arg(r.lostSegments)
                 .arg(rate(r.lossPercent, 1))
                 .arg(r.resentSegments)
                 .arg(r.duplicateSegments);
    lines << tr("往返时间 %1 ms (控制链路探测)")
                 .arg(r.roundTripMs >= 0 ? number(r.roundTripMs, 1) : QStringLiteral("–"));
    lines << tr("丢弃 队列满 %1 · 渲染忙 %2 · 解码错误 %3")
                 .arg(r.droppedQueueFull)
                 .arg(r.droppedRenderBusy)
                 .arg(r.droppedDecodeError);
    QStringList capture;
    if (r.recording)
        capture << tr("录像 丢弃 %1 帧,缺失 %2 秒")
                       .arg(r.recordingDropped)
                       .arg(number(r.recordingMissingSeconds, 1));
    if (r.liveOutput)
        capture << tr("直播输出 丢弃 %1 帧").arg(r.liveDropped);
    if (!capture.isEmpty())
        lines << capture.join(QStringLiteral(" · "));
    if (!r.viscaController.empty())
        lines << tr("VISCA 控制器 %1 · 上次指令 %2 秒前")
                     .arg(QString::fromStdString(r.viscaController).toHtmlEscaped(),
                          number(r.viscaSecondsAgo, 1));
    if (!r.gamepads.empty()) {
        QStringList names;
        for (const std::string& name : r.gamepads)
            names << QString::fromStdString(name).toHtmlEscaped();
        lines << tr("游戏手柄 %1").arg(names.join(QStringLiteral(", ")));
    }
    lines << (r.secondsSinceLastPicture >= 0
                  ? tr("上一帧 %1 秒前").arg(number(r.secondsSinceLastPicture, 1))
                  : tr("尚无画面"));
    return lines.join(QStringLiteral("<br>"));
}
