// The command line: every option parsed into this run's settings, bad values
// refused, and the program answering --help, --version and bad values on its
// own (without a window, leaving the configuration file alone).
#include "program/CommandLine.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace {

CommandLine parse(QStringList arguments) {
    arguments.prepend(QStringLiteral("orunapp"));
    return parseCommandLine(arguments);
}

} // namespace

TEST(CommandLine, NoArgumentsChangeNothing) {
    const CommandLine c = parse({});
    EXPECT_EQ(c.action, CommandLine::Action::Run);
    const RunOverrides& r = c.overrides;
    EXPECT_FALSE(r.cameraAddress || r.wifiMode || r.language || r.decodeMode || r.showStatistics);
    EXPECT_FALSE(r.fullScreen || r.record || r.liveOutput || r.viscaPort || r.virtualCamera);
    EXPECT_TRUE(r.recordFile.isEmpty());
    EXPECT_EQ(parseCommandLine({}).action, CommandLine::Action::Run);
}

TEST(CommandLine, EveryOptionBecomesASettingOfThisRun) {
    CommandLine c = parse({"--camera", "192.168.0.1", "--fullscreen", "--software-decoding",
                           "--language", "zh", "--stats"});
    ASSERT_EQ(c.action, CommandLine::Action::Run) << c.error.toStdString();
    EXPECT_EQ(c.overrides.cameraAddress.value_or(QString()), QString("192.168.0.1"));
    EXPECT_EQ(c.overrides.wifiMode.value_or(-1), 1) << "a camera address means hotspot mode";
    EXPECT_TRUE(c.overrides.fullScreen);
    EXPECT_EQ(c.overrides.decodeMode.value_or(-1), 1);
    EXPECT_EQ(c.overrides.language.value_or(-1), 0);
    EXPECT_TRUE(c.overrides.showStatistics.value_or(false));

    c = parse({"--station", "--language=EN"});
    ASSERT_EQ(c.action, CommandLine::Action::Run) << c.error.toStdString();
    EXPECT_EQ(c.overrides.wifiMode.value_or(-1), 0);
    EXPECT_EQ(c.overrides.language.value_or(-1), 1);
    EXPECT_FALSE(c.overrides.cameraAddress);

    c = parse({"--hotspot", "--camera=127.0.0.1"});
    ASSERT_EQ(c.action, CommandLine::Action::Run) << c.error.toStdString();
    EXPECT_EQ(c.overrides.wifiMode.value_or(-1), 1);
    EXPECT_EQ(c.overrides.cameraAddress.value_or(QString()), QString("127.0.0.1"));

    // The VISCA server for the run: a port alone is on the loopback address.
    c = parse({"--visca", "52400"});
    ASSERT_EQ(c.action, CommandLine::Action::Run) << c.error.toStdString();
    EXPECT_EQ(c.overrides.viscaPort.value_or(-1), 52400);
    EXPECT_EQ(c.overrides.viscaAddress, QString("127.0.0.1"));
    c = parse({"--visca=0.0.0.0:1259"});
    ASSERT_EQ(c.action, CommandLine::Action::Run) << c.error.toStdString();
    EXPECT_EQ(c.overrides.viscaPort.value_or(-1), 1259);
    EXPECT_EQ(c.overrides.viscaAddress, QString("0.0.0.0"));

    c = parse({"--virtual-camera"});
    ASSERT_EQ(c.action, CommandLine::Action::Run) << c.error.toStdString();
    EXPECT_TRUE(c.overrides.virtualCamera);

    EXPECT_EQ(parse({"--help"}).action, CommandLine::Action::Help);
    EXPECT_EQ(parse({"-h"}).action, CommandLine::Action::Help);
    EXPECT_EQ(parse({"--version"}).action, CommandLine::Action::Version);
    EXPECT_EQ(parse({"-v"}).action, CommandLine::Action::Version);
}

TEST(CommandLine, RecordWithOrWithoutAFileAndLiveToEachKindOfUrl) {
    QTemporaryDir dir;
    // --record alone: into the recordings folder of the settings.
    for (const QStringList& arguments :
         {QStringList{"--record"}, QStringList{"--record="}, QStringList{"-record"},
          QStringList{"--record", "--fullscreen"},
          QStringList{"--camera", "127.0.0.1", "--record"}}) {
        const CommandLine c = parse(arguments);
        ASSERT_EQ(c.action, CommandLine::Action::Run)
            << arguments.join(' ').toStdString() << ": " << c.error.toStdString();
        EXPECT_TRUE(c.overrides.record) << arguments.join(' ').toStdString();
        EXPECT_TRUE(c.overrides.recordFile.isEmpty()) << arguments.join(' ').toStdString();
        EXPECT_FALSE(c.overrides.liveOutput);
    }
    EXPECT_TRUE(parse({"--record", "--fullscreen"}).overrides.fullScreen);
    EXPECT_EQ(parse({"--camera", "127.0.0.1", "--record"}).overrides.cameraAddress.value_or(""),
              QString("127.0.0.1"));

    // A file as --record=FILE or --record FILE; its folder is made later.
    const QString file = dir.path() + "/new/clip.mkv";
    for (const QStringList& arguments :
         {QStringList{"--record=" + file}, QStringList{"--record", file, "--stats"},
          QStringList{"--language", "en", "-record", file}}) {
        const CommandLine c = parse(arguments);
        ASSERT_EQ(c.action, CommandLine::Action::Run)
            << arguments.join(' ').toStdString() << ": " << c.error.toStdString();
        EXPECT_TRUE(c.overrides.record);
        EXPECT_EQ(c.overrides.recordFile, file) << arguments.join(' ').toStdString();
    }
    EXPECT_TRUE(parse({"--record", file, "--stats"}).overrides.showStatistics.value_or(false));
    // Relative to the current folder.
    EXPECT_EQ(parse({"--record", "clip.mp4"}).overrides.recordFile,
              QDir::current().absoluteFilePath("clip.mp4"));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/new")) << "parsing writes nothing";

    using K = LiveSettings::Kind;
    const struct {
        const char* url;
        K kind;
        const char* address;
        const char* shown;
    } live[] = {
        {"srt://127.0.0.1:9710", K::SrtListener, "127.0.0.1:9710", "srt://127.0.0.1:9710"},
        {"SRT://0.0.0.0:9000/", K::SrtListener, "0.0.0.0:9000", "srt://0.0.0.0:9000"},
        {"srt://[::1]:9000", K::SrtListener, "[::1]:9000", "srt://[::1]:9000"},
        {"udp://239.0.0.1:5000", K::UdpMpegTs, "239.0.0.1:5000", "udp://239.0.0.1:5000"},
        // The stream key, a query's secrets and a password are never shown.
        {"rtmp://live.example.com/app/key", K::RtmpPush, "rtmp://live.example.com/app/key",
         "rtmp://live.example.com/app/\u2022\u2022\u2022\u2022"},
        {"rtmps://me:pw@live.example.com:443/app/key", K::RtmpPush,
         "rtmps://me:pw@live.example.com:443/app/key",
         "rtmps://live.example.com:443/app/\u2022\u2022\u2022\u2022"},
        {"rtmp://push.example.com/live-bvc/?streamname=s&key=k", K::RtmpPush,
         "rtmp://push.example.com/live-bvc/?streamname=s&key=k",
         "rtmp://push.example.com/live-bvc/\u2022\u2022\u2022\u2022"},
        {"rtmp://live.example.com/app", K::RtmpPush, "rtmp://live.example.com/app",
         "rtmp://live.example.com/app"},
        // The protocol's options, as FFmpeg's documentation writes them.
        {"srt://127.0.0.1:9710?mode=listener", K::SrtListener, "127.0.0.1:9710",
         "srt://127.0.0.1:9710"},
        {"srt://0.0.0.0:9710?latency=200000&passphrase=0123456789ab&pbkeylen=16&streamid=cam",
         K::SrtListener, "0.0.0.0:9710", "srt://0.0.0.0:9710?passphrase=\u2022\u2022\u2022\u2022"},
        {"udp://239.0.0.1:5000?pkt_size=1316&ttl=4&localaddr=127.0.0.1", K::UdpMpegTs,
         "239.0.0.1:5000", "udp://239.0.0.1:5000"},
    };
    for (const auto& l : live) {
        for (const QStringList& arguments :
             {QStringList{"--live", l.url}, QStringList{QString("--live=") + l.url}}) {
            const CommandLine c = parse(arguments);
            ASSERT_EQ(c.action, CommandLine::Action::Run) << l.url << ": " << c.error.toStdString();
            ASSERT_TRUE(c.overrides.liveOutput) << l.url;
            EXPECT_EQ(c.overrides.liveOutput->kind, l.kind) << l.url;
            EXPECT_EQ(c.overrides.liveOutput->address, l.address) << l.url;
            EXPECT_EQ(c.overrides.liveOutput->shownUrl(), l.shown) << l.url;
            EXPECT_FALSE(c.overrides.record);
        }
    }
    const CommandLine options = parse(
        {"--live", "srt://127.0.0.1:9710?mode=caller&latency=200000&passphrase=0123456789ab"});
    ASSERT_TRUE(options.overrides.liveOutput);
    const auto passed = options.overrides.liveOutput->protocolOptions();
    EXPECT_EQ(passed.at("mode"), "caller");
    EXPECT_EQ(passed.at("latency"), "200000");
    EXPECT_EQ(passed.at("passphrase"), "0123456789ab");
    EXPECT_EQ(options.overrides.liveOutput->url(), "srt://127.0.0.1:9710?pkt_size=1316");
    EXPECT_FALSE(options.overrides.liveOutput->listens());

    const CommandLine both = parse({"--record", file, "--live", "srt://127.0.0.1:9710"});
    ASSERT_EQ(both.action, CommandLine::Action::Run) << both.error.toStdString();
    EXPECT_EQ(both.overrides.recordFile, file);
    EXPECT_TRUE(both.overrides.liveOutput);
}

TEST(CommandLine, BadValuesAreRefusedWithAReason) {
    QTemporaryDir dir;
    QFile plain(dir.path() + "/plain-file");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const std::pair<QStringList, QString> bad[] = {
        {{"--camera", "300.1.1.1"}, "300.1.1.1"},
        {{"--camera", "camera.local"}, "camera.local"},
        {{"--camera", "0.0.0.0"}, "0.0.0.0"},
        {{"--camera", "::1"}, "::1"},
        {{"--camera"}, "--camera"},
        {{"--language", "fr"}, "fr"},
        {{"--station", "--hotspot"}, "--hotspot"},
        {{"--camera", "192.168.0.1", "--station"}, "--station"},
        {{"--record-everything"}, "record-everything"},
        {{"camera.local"}, "camera.local"},
        {{"--live"}, "--live"},
        {{"--live", "http://example.com:80/x"}, "http://example.com:80/x"},
        {{"--live", "127.0.0.1:9710"}, "srt://"},
        {{"--live", "srt://127.0.0.1"}, "no port"},
        {{"--live", "udp://:5000"}, "udp://HOST:PORT"},
        {{"--live", "srt://127.0.0.1:99999"}, "99999"},
        {{"--live", "srt://127.0.0.1:9710?mode=listener&colour=red"}, "'colour'"},
        {{"--live", "udp://127.0.0.1:5000?passphrase=0123456789ab"}, "'passphrase'"},
        {{"--live", "srt://127.0.0.1:9710?latency"}, "'latency'"},
        {{"--live", "srt://127.0.0.1:9710?passphrase=short"}, "10 to 79"},
        {{"--live", "rtmp://"}, "rtmp://"},
        {{"--visca"}, "--visca"},
        {{"--visca", "0"}, "1 to 65535"},
        {{"--visca", "127.0.0.1:65536"}, "65536"},
        {{"--visca", "camera.local:52381"}, "camera.local"},
        {{"--visca", "300.0.0.1:52381"}, "300.0.0.1"},
        {{"--record", dir.path()}, "is a folder"},
        {{"--record=" + dir.path() + "/"}, "is a folder"},
        {{"--record", dir.path() + "/plain-file/clip.mp4"}, "is not a folder"},
        {{"--record", dir.path() + "/plain-file/a/b/clip.mp4"}, "plain-file"},
        {{"--record", dir.path() + "/.mkv"}, ".mkv"},
        {{"--record", "clip.mp4", "more"}, "more"},
        {{"--record", "--", "clip.mp4"}, "clip.mp4"},
    };
    // A bad URL is named without its stream key or passphrase.
    for (const QString& url : {QString("rtmp://live.example.com:99999/app/s3cretkey"),
                               QString("srt://127.0.0.1:9710?passphrase=s3cretkey0&colour=red"),
                               QString("srt://127.0.0.1?passphrase=s3cretkey0"),
                               QString("rtmpx://live.example.com/app/s3cretkey")}) {
        const CommandLine c = parse({"--live", url});
        EXPECT_EQ(c.action, CommandLine::Action::Error) << url.toStdString();
        EXPECT_FALSE(c.error.contains("s3cretkey")) << c.error.toStdString();
        EXPECT_TRUE(c.error.contains("live.example.com") || c.error.contains("127.0.0.1"))
            << c.error.toStdString();
    }
    for (const auto& [arguments, named] : bad) {
        const CommandLine c = parse(arguments);
        EXPECT_EQ(c.action, CommandLine::Action::Error) << arguments.join(' ').toStdString();
        EXPECT_TRUE(c.error.contains(named))
            << arguments.join(' ').toStdString() << ": " << c.error.toStdString();
    }
}

TEST(CommandLine, HelpNamesEveryOptionAndTheConfigurationFile) {
    const QString help = commandLineHelp(QStringLiteral("/home/me/.config/orunapp/config.ini"));
    EXPECT_TRUE(help.startsWith(
        QStringLiteral("Usage: %1 [options]").arg(QCoreApplication::applicationName())))
        << help.toStdString();
    for (const char* option :
         {"--camera <ADDRESS>", "--station", "--hotspot", "--fullscreen", "--software-decoding",
          "--language <zh|en>", "--stats", "--record [FILE]", "--record FILE", "--record=FILE",
          "--live <URL>", "srt://HOST:PORT", "udp://HOST:PORT", "rtmp://", "rtmps://",
          "--virtual-camera", "--help", "--version"})
        EXPECT_TRUE(help.contains(QLatin1String(option))) << option << "\n" << help.toStdString();
    EXPECT_TRUE(help.contains("Configuration file: /home/me/.config/orunapp/config.ini"));
}

namespace {

// A copy of the built program in a folder of its own, beside a configuration
// file, so that the program decides to keep its configuration there.
class ProgramCopy {
public:
    ProgramCopy() {
        program = dir.path() + "/orunapp";
        ok = QFile::copy(QDir::currentPath() + "/orunapp", program) &&
             QDir(dir.path()).mkpath("config");
        QFile config(configFile());
        ok = ok && config.open(QIODevice::WriteOnly) &&
             config.write("[BaseOption]\nlanguage=0\nwifiMode=0\ndecodeMode=0\n") > 0;
    }
    QString configFile() const { return dir.path() + "/config/config.ini"; }
    QByteArray configBytes() const {
        QFile f(configFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Runs the program without a display: it must answer without a window.
    int run(const QStringList& arguments, QString* out = nullptr, QString* err = nullptr) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        env.insert("XDG_CONFIG_HOME", dir.path() + "/home-config");
        p.setProcessEnvironment(env);
        p.start(program, arguments);
        if (!p.waitForFinished(20000)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        if (out)
            *out = QString::fromLocal8Bit(p.readAllStandardOutput());
        if (err)
            *err = QString::fromLocal8Bit(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    QTemporaryDir dir;
    QString program;
    bool ok = false;
};

} // namespace

TEST(CommandLine, TheProgramAnswersWithoutAWindowAndLeavesTheConfigurationAlone) {
    ProgramCopy copy;
    ASSERT_TRUE(copy.ok);
    const QByteArray before = copy.configBytes();
    const QDateTime modified = QFileInfo(copy.configFile()).lastModified();

    for (const QStringList& arguments :
         {QStringList{"--camera", "999.1.1.1"}, QStringList{"--language", "de"},
          QStringList{"--station", "--hotspot"}, QStringList{"--no-such-option"},
          QStringList{"--camera"}, QStringList{"--live", "ftp://127.0.0.1:9710"},
          QStringList{"--record", "--live", "srt://127.0.0.1"},
          QStringList{"--record", copy.configFile() + "/clip.mp4"}}) {
        QString out, err;
        EXPECT_EQ(copy.run(arguments, &out, &err), kUsageError)
            << arguments.join(' ').toStdString();
        EXPECT_TRUE(err.startsWith("orunapp: ")) << err.toStdString();
        EXPECT_TRUE(err.contains("--help")) << err.toStdString();
        EXPECT_TRUE(out.isEmpty()) << out.toStdString();
    }

    QString out;
    EXPECT_EQ(copy.run({"--version"}, &out), 0);
    EXPECT_EQ(out.trimmed(), QStringLiteral("orunapp %1").arg(ORUN_VERSION));
    EXPECT_EQ(copy.run({"--help"}, &out), 0);
    EXPECT_TRUE(out.startsWith("Usage: orunapp [options]")) << out.toStdString();
    EXPECT_TRUE(out.contains("--record [FILE]")) << out.toStdString();
    EXPECT_TRUE(out.contains("Configuration file: " + copy.configFile())) << out.toStdString();

    EXPECT_EQ(copy.configBytes(), before);
    EXPECT_EQ(QFileInfo(copy.configFile()).lastModified(), modified);
    EXPECT_EQ(QDir(copy.dir.path() + "/config").entryList(QDir::Files), QStringList{"config.ini"});
    EXPECT_FALSE(QFileInfo::exists(copy.dir.path() + "/home-config"));
}
