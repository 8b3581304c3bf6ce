#include "program/CommandLine.h"

#include "app/CaptureSettings.h"
#include "app/ControlSettings.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

namespace {

// The options, shared by the parser and the help.
struct Options {
    QCommandLineOption camera{QStringLiteral("camera"),
                              QStringLiteral("Link to the camera at ADDRESS (IPv4) in hotspot "
                                             "mode, on the camera's Wi-Fi or its USB link."),
                              QStringLiteral("ADDRESS")};
    QCommandLineOption station{
        QStringLiteral("station"),
        QStringLiteral("Find the camera on a Wi-Fi network it has joined (station mode).")};
    QCommandLineOption hotspot{
        QStringLiteral("hotspot"),
        QStringLiteral("Reach the camera on its own Wi-Fi or its USB link (hotspot mode).")};
    QCommandLineOption fullScreen{QStringLiteral("fullscreen"),
                                  QStringLiteral("Start in full screen.")};
    QCommandLineOption softwareDecoding{
        QStringLiteral("software-decoding"),
        QStringLiteral("Decode the video in software instead of on the graphics hardware.")};
    QCommandLineOption language{QStringLiteral("language"),
                                QStringLiteral("Interface language: zh (Chinese) or en (English)."),
                                QStringLiteral("zh|en")};
    QCommandLineOption stats{QStringLiteral("stats"),
                             QStringLiteral("Show the statistics over the video.")};
    // The value may be left out (see joinRecordValue); the help says [FILE].
    QCommandLineOption record{
        QStringLiteral("record"),
        QStringLiteral("Record on the PC from the start: into FILE when given, as --record FILE "
                       "or --record=FILE (a name ending in .mkv gives Matroska, any other "
                       "fragmented MP4; after a break clip.mkv goes on in clip_part2.mkv and so "
                       "on; an existing file is never overwritten), else into the recordings "
                       "folder of the settings."),
        QStringLiteral("FILE")};
    QCommandLineOption live{
        QStringLiteral("live"),
        QStringLiteral(
            "Send the live output from the start to URL: srt://HOST:PORT (a listener "
            "on this PC that players connect to), udp://HOST:PORT (MPEG-TS sent "
            "there), each with the options of FFmpeg's srt or udp protocol in its "
            "query (srt://127.0.0.1:9710?latency=200000&passphrase=SECRET), or an "
            "rtmp:// or rtmps:// URL (pushed to that server). A stream key or a "
            "passphrase is never shown or logged (rtmp://HOST/APP/\u2022\u2022\u2022\u2022)."),
        QStringLiteral("URL")};
    QCommandLineOption virtualCamera{
        QStringLiteral("virtual-camera"),
        QStringLiteral("Offer the pictures as a camera to other programs from the start (a "
                       "PipeWire camera called orunapp that browsers, OBS and meeting programs "
                       "list).")};
    QCommandLineOption visca{
        QStringLiteral("visca"),
        QStringLiteral("Take VISCA over IP (UDP) from PTZ controllers for this run, at "
                       "[ADDRESS:]PORT (address 127.0.0.1 when left out; the settings give "
                       "127.0.0.1:52381). VISCA has no authentication: another address than "
                       "127.0.0.1 lets every program that reaches it steer the camera."),
        QStringLiteral("[ADDRESS:]PORT")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help and exit.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Show the version and exit.")};

    void addTo(QCommandLineParser& parser) const {
        for (const QCommandLineOption& o : all())
            parser.addOption(o);
    }
    QList<QCommandLineOption> all() const {
        return {camera,   station, hotspot, fullScreen, softwareDecoding,
                language, stats,   record,  live,       virtualCamera,
                visca,    help,    version};
    }
};

// "--name" or "-name" (words after one dash are long options too): the name,
// else an empty string.
QString optionName(const QString& argument) {
    if (!argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("--"))
        return QString();
    const int dashes = argument.startsWith(QLatin1String("--")) ? 2 : 1;
    return argument.mid(dashes).section(QLatin1Char('='), 0, 0);
}

// QCommandLineParser has no option whose value may be left out, and --record
// may stand alone or name a file: "--record FILE" (FILE not beginning with
// '-') becomes "--record=FILE" and a lone "--record" becomes "--record=",
// whose empty value means the recordings folder. The values that other
// options take, and all that follows "--", are left as they are.
QStringList joinRecordValue(const QStringList& arguments, const Options& o) {
    QStringList takesValue;
    for (const QCommandLineOption& option : o.all()) {
        if (!option.valueName().isEmpty())
            takesValue << option.names();
    }
    const QString record = o.record.names().constFirst();
    QStringList out;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const QString name = i == 0 ? QString() : optionName(argument);
        if (argument == QLatin1String("--") && i > 0) {
            out << arguments.mid(i);
            break;
        }
        const bool withValue = argument.contains(QLatin1Char('='));
        if (name == record && !withValue) {
            const bool fileFollows =
                i + 1 < arguments.size() && !arguments[i + 1].startsWith(QLatin1Char('-'));
            out << QStringLiteral("--%1=%2").arg(record, fileFollows ? arguments[++i] : QString());
            continue;
        }
        out << argument;
        if (takesValue.contains(name) && !withValue && i + 1 < arguments.size())
            out << arguments[++i];
    }
    return out;
}

// The file a recording named on the command line goes to, as an absolute
// path: not a folder, and in a folder that may be written or made (the
// recorder makes it). False with what is wrong.
bool usableRecordFile(const QString& given, QString* path, QString* why) {
    const QFileInfo file(QDir::cleanPath(QDir::current().absoluteFilePath(given)));
    if (given.endsWith(QLatin1Char('/')) || given.endsWith(QDir::separator()) || file.isDir()) {
        *why = QStringLiteral("'%1' is a folder; name a file in it.").arg(given);
        return false;
    }
    if (file.completeBaseName().isEmpty()) {
        *why = QStringLiteral("'%1' has no name before its extension.").arg(given);
        return false;
    }
    // The nearest folder on the way that exists must be one that may be written.
    QString folder = file.absolutePath();
    while (!QFileInfo::exists(folder)) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (parent == folder)
            break;
        folder = parent;
    }
    const QFileInfo existing(folder);
    if (!existing.isDir()) {
        *why = QStringLiteral("cannot make the folder of '%1': '%2' is not a folder.")
                   .arg(given, QDir::toNativeSeparators(folder));
        return false;
    }
    if (!existing.isWritable()) {
        *why = QStringLiteral("cannot write into the folder '%1'.")
                   .arg(QDir::toNativeSeparators(folder));
        return false;
    }
    *path = file.absoluteFilePath();
    return true;
}

const char* const kDescription =
    "A client for the network gimbal camera: live video, gimbal, zoom, photos and recording.\n"
    "The options apply to this run only; the configuration file is never changed by them.";

} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine result;
    const Options o;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    o.addTo(parser);
    auto fail = [&result](const QString& message) {
        result.action = CommandLine::Action::Error;
        result.error = message;
        return result;
    };
    if (!parser.parse(joinRecordValue(
            arguments.isEmpty() ? QStringList{QStringLiteral("orunapp")} : arguments, o)))
        return fail(parser.errorText());
    if (parser.isSet(o.help)) {
        result.action = CommandLine::Action::Help;
        return result;
    }
    if (parser.isSet(o.version)) {
        result.action = CommandLine::Action::Version;
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("Unexpected argument '%1'.")
                        .arg(parser.positionalArguments().constFirst()));

    RunOverrides& run = result.overrides;
    if (parser.isSet(o.station) && parser.isSet(o.hotspot))
        return fail(QStringLiteral("--station and --hotspot cannot both be given."));
    if (parser.isSet(o.station))
        run.wifiMode = 0;
    if (parser.isSet(o.hotspot))
        run.wifiMode = 1;
    if (parser.isSet(o.camera)) {
        const QString text = parser.value(o.camera).trimmed();
        QHostAddress address;
        if (!address.setAddress(text) || address.protocol() != QAbstractSocket::IPv4Protocol ||
            address == QHostAddress::AnyIPv4 || address == QHostAddress::Broadcast)
            return fail(QStringLiteral("--camera: '%1' is not the IPv4 address of a camera.")
                            .arg(parser.value(o.camera)));
        if (parser.isSet(o.station))
            return fail(QStringLiteral("--camera gives the camera's address in hotspot mode; "
                                       "it cannot go with --station."));
        run.cameraAddress = address.toString();
        run.wifiMode = 1;
    }
    if (parser.isSet(o.language)) {
        const QString language = parser.value(o.language).trimmed().toLower();
        if (language == QLatin1String("zh"))
            run.language = 0;
        else if (language == QLatin1String("en"))
            run.language = 1;
        else
            return fail(QStringLiteral("--language: '%1' is neither zh nor en.")
                            .arg(parser.value(o.language)));
    }
    if (parser.isSet(o.softwareDecoding))
        run.decodeMode = 1;
    if (parser.isSet(o.stats))
        run.showStatistics = true;
    if (parser.isSet(o.record)) {
        run.record = true;
        QString why;
        const QString file = parser.value(o.record);
        if (!file.isEmpty() && !usableRecordFile(file, &run.recordFile, &why))
            return fail(QStringLiteral("--record: %1").arg(why));
    }
    if (parser.isSet(o.live)) {
        LiveSettings live;
        QString why;
        if (!CaptureSettings::liveFromUrl(parser.value(o.live), &live, &why))
            return fail(QStringLiteral("--live: %1").arg(why));
        run.liveOutput = live;
    }
    run.virtualCamera = parser.isSet(o.virtualCamera);
    if (parser.isSet(o.visca)) {
        QString address;
        int port = 0;
        QString why;
        if (!ControlSettings::parseEndpoint(parser.value(o.visca), &address, &port, &why))
            return fail(QStringLiteral("--visca: %1").arg(why));
        run.viscaAddress = address;
        run.viscaPort = port;
    }
    run.fullScreen = parser.isSet(o.fullScreen);
    return result;
}

QString commandLineHelp(const QString& configFile) {
    const Options o;
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription) +
                                     QStringLiteral("\nConfiguration file: %1").arg(configFile));
    o.addTo(parser);
    QString text = parser.helpText();
    // The usual form names the program, not the path it was started by.
    text.replace(QRegularExpression(QStringLiteral("^Usage: \\S+")),
                 QStringLiteral("Usage: %1").arg(QCoreApplication::applicationName()));
    // The file of --record may be left out (of the same length: the columns stay).
    text.replace(QStringLiteral("--record <FILE>"), QStringLiteral("--record [FILE]"));
    return text;
}

QString versionText() {
    return QStringLiteral("%1 %2").arg(QCoreApplication::applicationName(),
                                       QCoreApplication::applicationVersion());
}

QStringList programArguments(int argc, char** argv) {
    QStringList arguments;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide) {
        for (int i = 0; i < count; ++i)
            arguments << QString::fromWCharArray(wide[i]);
        LocalFree(wide);
    }
#else
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
#endif
    return arguments;
}
