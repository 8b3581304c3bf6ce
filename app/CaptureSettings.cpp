#include "app/CaptureSettings.h"

#include "app/Configuration.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

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
    s.liveSrtPassphrase = readConfigValue(key("liveSrtPassphrase"), QString()).toString();
    s.webcamAtStart = readConfigValue(key("webcamAtStart"), false).toBool();
    s.webcamDevice = readConfigValue(key("webcamDevice"), QString()).toString().trimmed();
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
    writeConfigValue(key("liveSrtPassphrase"), liveSrtPassphrase);
    writeConfigValue(key("webcamAtStart"), webcamAtStart);
    writeConfigValue(key("webcamDevice"), webcamDevice);
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
    const QString address = liveAddress();
    // An address that does not read (edited by hand) is tried as it stands:
    // the output then tells why it does not open.
    if (!liveFromUrl(urlOf(liveKind, address), &l, nullptr) || l.kind != liveKind) {
        l = LiveSettings{};
        l.kind = liveKind;
        l.address = address.toStdString();
    }
    if (liveKind == LiveSettings::Kind::SrtListener && !liveSrtPassphrase.isEmpty())
        l.options["passphrase"] = liveSrtPassphrase.toStdString();
    return l;
}

QString CaptureSettings::urlOf(LiveSettings::Kind kind, const QString& address) {
    switch (kind) {
    case LiveSettings::Kind::SrtListener:
        return QStringLiteral("srt://") + address.trimmed();
    case LiveSettings::Kind::UdpMpegTs:
        return QStringLiteral("udp://") + address.trimmed();
    case LiveSettings::Kind::RtmpPush:
        break;
    }
    return address.trimmed();
}

QString CaptureSettings::shownInput(const QString& url) {
    const QString text = url.trimmed();
    const QString scheme = text.section(QStringLiteral("://"), 0, 0).toLower();
    if (scheme != QLatin1String("srt") && scheme != QLatin1String("udp"))
        return QString::fromStdString(LiveSettings::hiddenRtmpUrl(text.toStdString()));
    // Of the options, only a passphrase is secret.
    const int query = text.indexOf(QLatin1Char('?'));
    if (query < 0)
        return text;
    QStringList shown;
    for (const QString& item : text.mid(query + 1).split(QLatin1Char('&'))) {
        const QString name = item.section(QLatin1Char('='), 0, 0);
        shown << (name == QLatin1String("passphrase")
                      ? name + QStringLiteral("=\u2022\u2022\u2022\u2022")
                      : item);
    }
    return text.left(query + 1) + shown.join(QLatin1Char('&'));
}

bool CaptureSettings::addressValid(LiveSettings::Kind kind, const QString& address, QString* why) {
    const QString text = address.trimmed();
    if (text.isEmpty() || text.contains(QLatin1Char(' ')))
        return false;
    if (kind == LiveSettings::Kind::RtmpPush) {
        const QUrl url(text, QUrl::StrictMode);
        return url.isValid() && !url.host().isEmpty() &&
               (url.scheme() == QLatin1String("rtmp") || url.scheme() == QLatin1String("rtmps"));
    }
    LiveSettings live;
    return liveFromUrl(urlOf(kind, text), &live, why) && live.kind == kind;
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
    const QString shown = shownInput(url);
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
            return fail(QStringLiteral("'%1' is not a usable RTMP URL.").arg(shown));
        out.kind = LiveSettings::Kind::RtmpPush;
        out.address = text.toStdString();
    } else if (scheme == QLatin1String("srt") || scheme == QLatin1String("udp")) {
        const QString form = scheme + QStringLiteral("://HOST:PORT");
        if (!parsed.isValid() || parsed.host().isEmpty())
            return fail(QStringLiteral("'%1' is not of the form %2.").arg(shown, form));
        if (parsed.port() == -1)
            return fail(QStringLiteral("'%1' has no port (%2).").arg(shown, form));
        if (!parsed.userInfo().isEmpty() || (!parsed.path().isEmpty() && parsed.path() != "/") ||
            parsed.hasFragment())
            return fail(QStringLiteral("'%1' has more than %2?OPTION=VALUE&....").arg(shown, form));
        // An IPv6 address keeps its brackets before the port.
        const QString host = parsed.host().contains(QLatin1Char(':'))
                                 ? QStringLiteral("[%1]").arg(parsed.host())
                                 : parsed.host();
        const QString address = QStringLiteral("%1:%2").arg(host).arg(parsed.port());
        out.kind = scheme == QLatin1String("srt") ? LiveSettings::Kind::SrtListener
                                                  : LiveSettings::Kind::UdpMpegTs;
        if (parsed.port() < 1 || parsed.port() > 65535)
            return fail(QStringLiteral("'%1' is not of the form %2.").arg(shown, form));
        out.address = address.toStdString();
        // The protocol's own options, as libavformat takes them.
        const QUrlQuery query(parsed);
        for (const auto& item : query.queryItems(QUrl::FullyDecoded)) {
            const std::string name = item.first.toStdString();
            if (!LiveSettings::takesOption(out.kind, name))
                return fail(QStringLiteral("'%1' has the option '%2', which %3:// does not take.")
                                .arg(shown, item.first, scheme));
            if (item.second.isEmpty())
                return fail(
                    QStringLiteral("'%1' gives the option '%2' no value.").arg(shown, item.first));
            out.options[name] = item.second.toStdString();
        }
        const auto passphrase = out.options.find("passphrase");
        if (passphrase != out.options.end() &&
            !passphraseValid(QString::fromStdString(passphrase->second)))
            return fail(QStringLiteral("'%1': a passphrase has 10 to 79 characters.").arg(shown));
    } else {
        return fail(
            QStringLiteral("'%1' is not an srt://, udp://, rtmp:// or rtmps:// URL.").arg(shown));
    }
    if (live)
        *live = out;
    return true;
}

QString CaptureSettings::refusedOption(const QString& url) {
    const QUrl parsed(url.trimmed(), QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    const LiveSettings::Kind kind = scheme == QLatin1String("srt") ? LiveSettings::Kind::SrtListener
                                    : scheme == QLatin1String("udp") ? LiveSettings::Kind::UdpMpegTs
                                                                     : LiveSettings::Kind::RtmpPush;
    if (kind == LiveSettings::Kind::RtmpPush)
        return QString();
    for (const auto& item : QUrlQuery(parsed).queryItems(QUrl::FullyDecoded))
        if (!LiveSettings::takesOption(kind, item.first.toStdString()))
            return item.first;
    return QString();
}

bool CaptureSettings::passphraseValid(const QString& passphrase) {
    return passphrase.isEmpty() ||
           (passphrase.toUtf8().size() >= 10 && passphrase.toUtf8().size() <= 79);
}

bool CaptureSettings::operator==(const CaptureSettings& o) const {
    return recordFolder == o.recordFolder && recordFormat == o.recordFormat &&
           snapshotFolder == o.snapshotFolder && snapshotFormat == o.snapshotFormat &&
           snapshotBoxes == o.snapshotBoxes && liveKind == o.liveKind && liveSrt == o.liveSrt &&
           liveUdp == o.liveUdp && liveRtmp == o.liveRtmp &&
           liveSrtPassphrase == o.liveSrtPassphrase && webcamAtStart == o.webcamAtStart &&
           webcamDevice == o.webcamDevice;
}
