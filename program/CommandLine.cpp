#include "program/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
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
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help and exit.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Show the version and exit.")};

    void addTo(QCommandLineParser& parser) const {
        // Options that capture on the PC (recording, live output) join here.
        for (const QCommandLineOption& o : {camera, station, hotspot, fullScreen, softwareDecoding,
                                            language, stats, help, version})
            parser.addOption(o);
    }
};

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
    if (!parser.parse(arguments.isEmpty() ? QStringList{QStringLiteral("orunapp")} : arguments))
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
