#include "app/CaptureSettings.h"

#include "app/Configuration.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

namespace {

const char* const kGroup = "Capture/";

QString key(const char* name) {
    return QLatin1String(kGroup) + QLatin1String(name);
}

QString underOrunapp(QStandardPaths::StandardLocation location) {
    QString base = QStandardPaths::writableLocation(location);
    if (base.isEmpty())
        base = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
    if (base.isEmpty())
        base = QDir::homePath();
    return QDir::cleanPath(base + QStringLiteral("/orunapp"));
}

QString kindName(LiveSettings::Kind kind) {
    switch (kind) {
    case LiveSettings::Kind::UdpMpegTs:
        return QStringLiteral("udp");
    case LiveSettings::Kind::RtmpPush:
        return QStringLiteral("rtmp");
    case LiveSettings::Kind::SrtListener:
        break;
    }
    return QStringLiteral("srt");
}

LiveSettings::Kind kindOf(const QString& name) {
    if (name == QLatin1String("udp"))
        return LiveSettings::Kind::UdpMpegTs;
    if (name == QLatin1String("rtmp"))
        return LiveSettings::Kind::RtmpPush;
    return LiveSettings::Kind::SrtListener;
}

QString textOr(const QString& name, const QString& fallback) {
    const QString value =
        readConfigValue(key(name.toLatin1().constData()), QString()).toString().trimmed();
    return value.isEmpty() ? fallback : value;
}

} // namespace

QString CaptureSettings::defaultRecordFolder() {
    return underOrunapp(QStandardPaths::MoviesLocation);
}

QString CaptureSettings::defaultSnapshotFolder() {
    return underOrunapp(QStandardPaths::PicturesLocation);
}

QString CaptureSettings::defaultAddress(LiveSettings::Kind kind) {
    switch (kind) {
    case LiveSettings::Kind::UdpMpegTs:
        return QStringLiteral("127.0.0.1:1234");
    case LiveSettings::Kind::RtmpPush:
        return QStringLiteral("rtmp://127.0.0.1/live/orunapp");
    case LiveSettings::Kind::SrtListener:
        break;
    }
    return QStringLiteral("127.0.0.1:9710");
}

CaptureSettings CaptureSettings::load() {
    CaptureSettings s;
    s.recordFolder = textOr(QStringLiteral("recordFolder"), defaultRecordFolder());
    s.recordFormat =
        textOr(QStringLiteral("recordFormat"), QString()) == QLatin1String("mkv") ? "mkv" : "mp4";
    s.snapshotFolder = textOr(QStringLiteral("snapshotFolder"), defaultSnapshotFolder());
    s.snapshotFormat =
        textOr(QStringLiteral("snapshotFormat"), QString()) == QLatin1String("jpg") ? "jpg" : "png";
    s.snapshotBoxes = readConfigValue(key("snapshotBoxes"), false).toBool();
    s.liveKind = kindOf(textOr(QStringLiteral("liveKind"), QStringLiteral("srt")));
    s.liveSrt = textOr(QStringLiteral("liveSrt"), defaultAddress(LiveSettings::Kind::SrtListener));
    s.liveUdp = textOr(QStringLiteral("liveUdp"), defaultAddress(LiveSettings::Kind::UdpMpegTs));
    s.liveRtmp = textOr(QStringLiteral("liveRtmp"), defaultAddress(LiveSettings::Kind::RtmpPush));
    return s;
}

void CaptureSettings::save() const {
    writeConfigValue(key("recordFolder"), recordFolder);
    writeConfigValue(key("recordFormat"), recordFormat);
    writeConfigValue(key("snapshotFolder"), snapshotFolder);
    writeConfigValue(key("snapshotFormat"), snapshotFormat);
    writeConfigValue(key("snapshotBoxes"), snapshotBoxes);
    writeConfigValue(key("liveKind"), kindName(liveKind));
    writeConfigValue(key("liveSrt"), liveSrt);
    writeConfigValue(key("liveUdp"), liveUdp);
    writeConfigValue(key("liveRtmp"), liveRtmp);
}

QString CaptureSettings::liveAddress() const {
    switch (liveKind) {
    case LiveSettings::Kind::UdpMpegTs:
        return liveUdp;
    case LiveSettings::Kind::RtmpPush:
        return liveRtmp;
    case LiveSettings::Kind::SrtListener:
        break;
    }
    return liveSrt;
}

void CaptureSettings::setLiveAddress(const QString& address) {
    switch (liveKind) {
    case LiveSettings::Kind::UdpMpegTs:
        liveUdp = address;
        return;
    case LiveSettings::Kind::RtmpPush:
        liveRtmp = address;
        return;
    case LiveSettings::Kind::SrtListener:
        liveSrt = address;
        return;
    }
}

RecorderSettings CaptureSettings::recorder() const {
    RecorderSettings r;
    r.folder = recordFolder.toStdString();
    r.container = recordFormat == QLatin1String("mkv") ? "matroska" : "mp4";
    return r;
}

SnapshotSettings CaptureSettings::snapshot() const {
    SnapshotSettings s;
    s.folder = snapshotFolder.toStdString();
    s.format = snapshotFormat == QLatin1String("jpg") ? "jpg" : "png";
    s.withBoxes = snapshotBoxes;
    return s;
}

LiveSettings CaptureSettings::live() const {
    LiveSettings l;
    l.kind = liveKind;
    l.address = liveAddress().toStdString();
    return l;
}

bool CaptureSettings::addressValid(LiveSettings::Kind kind, const QString& address) {
    const QString text = address.trimmed();
    if (text.isEmpty() || text.contains(QLatin1Char(' ')) || text.contains(QLatin1Char('?')))
        return false;
    if (kind == LiveSettings::Kind::RtmpPush) {
        const QUrl url(text, QUrl::StrictMode);
        return url.isValid() && !url.host().isEmpty() &&
               (url.scheme() == QLatin1String("rtmp") || url.scheme() == QLatin1String("rtmps"));
    }
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    bool ok = false;
    const int port = text.mid(colon + 1).toInt(&ok);
    return ok && port >= 1 && port <= 65535;
}

RecorderSettings CaptureSettings::recorderInto(const QString& path) {
    const QFileInfo file(path);
    RecorderSettings r;
    r.folder = file.absolutePath().toStdString();
    const QString extension = file.suffix();
    r.container =
        extension.compare(QLatin1String("mkv"), Qt::CaseInsensitive) == 0 ? "matroska" : "mp4";
    r.stem = file.completeBaseName().toStdString();
    r.extension =
        extension.isEmpty() ? Recorder::extensionOf(r.container) : extension.toStdString();
    return r;
}

bool CaptureSettings::liveFromUrl(const QString& url, LiveSettings* live, QString* why) {
    auto fail = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    const QString text = url.trimmed();
    const QUrl parsed(text, QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    LiveSettings out;
    if (scheme == QLatin1String("rtmp") || scheme == QLatin1String("rtmps")) {
        if (!addressValid(LiveSettings::Kind::RtmpPush, text))
            return fail(QStringLiteral("'%1' is not a usable RTMP URL.").arg(url));
        out.kind = LiveSettings::Kind::RtmpPush;
        out.address = text.toStdString();
    } else if (scheme == QLatin1String("srt") || scheme == QLatin1String("udp")) {
        const QString form = scheme + QStringLiteral("://HOST:PORT");
        if (!parsed.isValid() || parsed.host().isEmpty())
            return fail(QStringLiteral("'%1' is not of the form %2.").arg(url, form));
        if (parsed.port() == -1)
            return fail(QStringLiteral("'%1' has no port (%2).").arg(url, form));
        if (!parsed.userInfo().isEmpty() || (!parsed.path().isEmpty() && parsed.path() != "/") ||
            parsed.hasQuery() || parsed.hasFragment())
            return fail(QStringLiteral("'%1' has more than %2.").arg(url, form));
        // An IPv6 address keeps its brackets before the port.
        const QString host = parsed.host().contains(QLatin1Char(':'))
                                 ? QStringLiteral("[%1]").arg(parsed.host())
                                 : parsed.host();
        const QString address = QStringLiteral("%1:%2").arg(host).arg(parsed.port());
        out.kind = scheme == QLatin1String("srt") ? LiveSettings::Kind::SrtListener
                                                  : LiveSettings::Kind::UdpMpegTs;
        if (!addressValid(out.kind, address))
            return fail(QStringLiteral("'%1' is not of the form %2.").arg(url, form));
        out.address = address.toStdString();
    } else {
        return fail(
            QStringLiteral("'%1' is not an srt://, udp://, rtmp:// or rtmps:// URL.").arg(url));
    }
    if (live)
        *live = out;
    return true;
}

bool CaptureSettings::operator==(const CaptureSettings& o) const {
    return recordFolder == o.recordFolder && recordFormat == o.recordFormat &&
           snapshotFolder == o.snapshotFolder && snapshotFormat == o.snapshotFormat &&
           snapshotBoxes == o.snapshotBoxes && liveKind == o.liveKind && liveSrt == o.liveSrt &&
           liveUdp == o.liveUdp && liveRtmp == o.liveRtmp;
}
