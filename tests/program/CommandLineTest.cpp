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
    EXPECT_FALSE(r.fullScreen);
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

    EXPECT_EQ(parse({"--help"}).action, CommandLine::Action::Help);
    EXPECT_EQ(parse({"-h"}).action, CommandLine::Action::Help);
    EXPECT_EQ(parse({"--version"}).action, CommandLine::Action::Version);
    EXPECT_EQ(parse({"-v"}).action, CommandLine::Action::Version);
}

TEST(CommandLine, BadValuesAreRefusedWithAReason) {
    const std::pair<QStringList, const char*> bad[] = {
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
    };
    for (const auto& [arguments, named] : bad) {
        const CommandLine c = parse(arguments);
        EXPECT_EQ(c.action, CommandLine::Action::Error) << arguments.join(' ').toStdString();
        EXPECT_TRUE(c.error.contains(QLatin1String(named)))
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
          "--language <zh|en>", "--stats", "--help", "--version"})
        EXPECT_TRUE(help.contains(QLatin1String(option))) << option;
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
          QStringList{"--camera"}}) {
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
    EXPECT_TRUE(out.contains("Configuration file: " + copy.configFile())) << out.toStdString();

    EXPECT_EQ(copy.configBytes(), before);
    EXPECT_EQ(QFileInfo(copy.configFile()).lastModified(), modified);
    EXPECT_EQ(QDir(copy.dir.path() + "/config").entryList(QDir::Files), QStringList{"config.ini"});
    EXPECT_FALSE(QFileInfo::exists(copy.dir.path() + "/home-config"));
}
