#include "app/Configuration.h"
#include "app/CameraLinkResources.h"
#include "app/RunOptions.h"
#include "hub/OrunAppFace.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

// Each test works in its own program folder, with copies of the built
// translations, and its own user configuration folder.
class Configuration : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(userDir.isValid());
        savedConfigHome = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", userDir.path().toLocal8Bit());
        setApplicationBaseDir(dir.path());
        hub = OrunAppFace::instance();
    }
    void TearDown() override {
        QCoreApplication::removeTranslator(appTranslator());
        setApplicationBaseDir(QString());
        if (savedConfigHome.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", savedConfigHome);
    }

    QString besidePath() const { return dir.path() + "/config/config.ini"; }
    static QString userPath() {
        return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + "/config.ini";
    }

    // Tests run in the folder that holds the built language/ files.
    void copyTranslations() {
        ASSERT_TRUE(QDir(dir.path()).mkpath("language"));
        for (const char* name : {"orunapp_zh_cn.qm", "orunapp_en_cn.qm"}) {
            const QString from = QDir::current().filePath(QString("language/") + name);
            ASSERT_TRUE(QFile::copy(from, dir.path() + "/language/" + name)) << qPrintable(from);
        }
    }

    void writeFile(const QByteArray& content) {
        const QString path = configFilePath();
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    void scramble() {
        hub->iLanguage = 7;
        hub->iWifiMode = 9;
        hub->showTarget = false;
    }

    QTemporaryDir dir;
    QTemporaryDir userDir;
    QByteArray savedConfigHome;
    OrunAppFace* hub = nullptr;
};

#ifdef Q_OS_UNIX
// Permission bits of a file, or -1 when it cannot be read.
int modeOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return static_cast<int>(st.st_mode & 07777);
}
#endif

// Every debug-log message written while it lives.
class LogCapture {
public:
    LogCapture() {
        messages().clear();
        previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { messages() << text; });
    }
    ~LogCapture() { qInstallMessageHandler(previous); }
    static QStringList& messages() {
        static QStringList list;
        return list;
    }

private:
    QtMessageHandler previous = nullptr;
};

TEST_F(Configuration, FileLivesUnderTheApplicationDirectory) {
    EXPECT_EQ(configFilePath(), dir.path() + "/config/config.ini");
    setApplicationBaseDir(QString());
    EXPECT_EQ(configFilePath(), QCoreApplication::applicationDirPath() + "/config/config.ini");
}

#ifdef Q_OS_LINUX
// A program installed into a folder of the system: the user's configuration
// folder takes the file. /proc stands for a folder in which no one, the
// administrator included, can create a file.
TEST_F(Configuration, ReadOnlyProgramFolderKeepsTheFileInTheUsersFolder) {
    ASSERT_TRUE(userPath().startsWith(userDir.path() + "/")) << qPrintable(userPath());

    setApplicationBaseDir("/proc");
    EXPECT_EQ(configFilePath(), userPath());
    // Nothing there until the first write; the defaults of a new program.
    scramble();
    loadConfiguration();
    EXPECT_EQ(hub->iLanguage.load(), 1);
    EXPECT_EQ(hub->iWifiMode.load(), 0);
    EXPECT_FALSE(QFile::exists(userPath()));

    writeConfigValue("BaseOption/language", 0);
    writeConfigValue("BaseOption/wifiSsid", QString::fromUtf8("家里的网络"));
    EXPECT_TRUE(QFile::exists(userPath()));
    scramble();
    loadConfiguration();
    EXPECT_EQ(hub->iLanguage.load(), 0);
    EXPECT_EQ(readConfigValue("BaseOption/wifiSsid", QString()).toString(),
              QString::fromUtf8("家里的网络"));

    // A config folder beside the program that takes no files counts as
    // read-only even though the program folder itself is writable.
    ASSERT_TRUE(QFile::link("/proc", dir.path() + "/config"));
    setApplicationBaseDir(dir.path());
    EXPECT_EQ(configFilePath(), userPath());
    EXPECT_EQ(readConfigValue("BaseOption/language", 1).toInt(), 0);
}

TEST_F(Configuration, WritableFolderBesideTheProgramIsKept) {
    // config/ exists and takes files.
    ASSERT_TRUE(QDir(dir.path()).mkpath("config"));
    setApplicationBaseDir(dir.path());
    EXPECT_EQ(configFilePath(), besidePath());
    writeConfigValue("BaseOption/language", 0);
    EXPECT_TRUE(QFile::exists(besidePath()));
    EXPECT_FALSE(QFile::exists(userPath()));

    // A config.ini that cannot be written sends the values to the user's
    // folder, unless the account may write it anyway (the administrator).
    ASSERT_TRUE(QFile::setPermissions(besidePath(), QFileDevice::ReadOwner));
    setApplicationBaseDir(dir.path());
    const bool writableAnyway = QFile(besidePath()).open(QIODevice::ReadWrite);
    EXPECT_EQ(configFilePath(), writableAnyway ? besidePath() : userPath());
}
#endif

#ifdef Q_OS_UNIX
TEST_F(Configuration, FileIsReadableAndWritableByItsOwnerOnly) {
    const mode_t savedMask = ::umask(022);
    // A new file, beside the program and in the user's folder.
    writeConfigValue("BaseOption/wifiPasswd", "secret-1");
    EXPECT_EQ(modeOf(besidePath()), 0600);
#ifdef Q_OS_LINUX
    setApplicationBaseDir("/proc");
    writeConfigValue("BaseOption/wifiPasswd", "secret-1");
    EXPECT_EQ(modeOf(userPath()), 0600);
    setApplicationBaseDir(dir.path());
#endif

    // A file left readable by others (an editor, an older version) is
    // narrowed on the next write and keeps its values.
    ASSERT_TRUE(
        QFile::setPermissions(besidePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ReadGroup | QFileDevice::ReadOther));
    writeConfigValue("BaseOption/language", 0);
    EXPECT_EQ(modeOf(besidePath()), 0600);
    EXPECT_EQ(readConfigValue("BaseOption/wifiPasswd", QString()).toString(), QString("secret-1"));
    writeConfigValue("BaseOption/wifiPasswd", "secret-2");
    EXPECT_EQ(modeOf(besidePath()), 0600);
    ::umask(savedMask);
}
#endif

TEST_F(Configuration, PasswordStaysOutOfTheLog) {
    LogCapture log;
    writeConfigValue("BaseOption/wifiPasswd", "pw-in-file-7731");
    EXPECT_EQ(readConfigValue("BaseOption/wifiPasswd", QString()).toString(),
              QString("pw-in-file-7731"));
#ifdef Q_OS_LINUX
    // Nowhere to save it: the failure is reported, with the path only.
    qputenv("XDG_CONFIG_HOME", "/proc/no-such-folder");
    setApplicationBaseDir("/proc");
    writeConfigValue("BaseOption/wifiPasswd", "pw-not-saved-7731");
    EXPECT_EQ(readConfigValue("BaseOption/wifiPasswd", QString()).toString(), QString());
    ASSERT_FALSE(log.messages().isEmpty());
    EXPECT_TRUE(log.messages().last().contains(userPath())) << qPrintable(log.messages().last());
#endif
    for (const QString& line : log.messages())
        EXPECT_FALSE(line.contains("7731")) << qPrintable(line);
}

TEST_F(Configuration, DefaultsWhenTheFileIsMissingOrHasNoBaseOption) {
    scramble();
    loadConfiguration();
    EXPECT_EQ(hub->iLanguage.load(), 1);
    EXPECT_EQ(hub->iWifiMode.load(), 0);
    EXPECT_TRUE(hub->showTarget.load());
    EXPECT_EQ(readConfigValue("BaseOption/usb", "none").toString(), QString("none"));
    EXPECT_EQ(QLocale().language(), QLocale::English);

    writeFile("[Other]\nlanguage=0\nwifiMode=1\n");
    scramble();
    loadConfiguration();
    EXPECT_EQ(hub->iLanguage.load(), 1);
    EXPECT_EQ(hub->iWifiMode.load(), 0);
    EXPECT_TRUE(hub->showTarget.load());

    // A value that is not a number reads as the default too.
    writeFile("[BaseOption]\nlanguage=abc\nwifiMode=\n");
    scramble();
    loadConfiguration();
    EXPECT_EQ(hub->iLanguage.load(), 1);
    EXPECT_EQ(hub->iWifiMode.load(), 0);
}

TEST_F(Configuration, WrittenValuesAreReadBackAtStartUp) {
    // The config folder does not exist yet: writing creates it.
    writeConfigValue("BaseOption/language", 0);
    writeConfigValue("BaseOption/wifiMode", 1);
    writeConfigValue("BaseOption/wifiSsid", QString::fromUtf8("家里的网络"));
    EXPECT_TRUE(QFile::exists(dir.path() + "/config/config.ini"));

    scramble();
    loadConfiguration();
    EXPECT_EQ(hub->iLanguage.load(), 0);
    EXPECT_EQ(hub->iWifiMode.load(), 1);
    EXPECT_EQ(readConfigValue("BaseOption/wifiSsid", QString()).toString(),
              QString::fromUtf8("家里的网络"));
    // Values written by hand in the file are seen without a restart.
    writeFile("[BaseOption]\nusb=192.168.42\nwifi=192.168.1\n");
    EXPECT_EQ(readConfigValue("BaseOption/usb", QString()).toString(), QString("192.168.42"));
    EXPECT_EQ(readConfigValue("BaseOption/wifi", QString()).toString(), QString("192.168.1"));
}

TEST_F(Configuration, ChineseInstallsItsTranslationAndLocale) {
    copyTranslations();
    loadLanguage(0);
    EXPECT_FALSE(appTranslator()->isEmpty());
    EXPECT_TRUE(appTranslator()->filePath().endsWith("/language/orunapp_zh_cn.qm"));
    EXPECT_EQ(QLocale().language(), QLocale::Chinese);
    EXPECT_EQ(QLocale().country(), QLocale::China);
    EXPECT_EQ(QCoreApplication::translate("orunapp", "确定"), QString::fromUtf8("确定"));

    for (int index : {1, 2, -1}) {
        loadLanguage(index);
        EXPECT_TRUE(appTranslator()->filePath().endsWith("/language/orunapp_en_cn.qm")) << index;
        EXPECT_EQ(QLocale().language(), QLocale::English);
        EXPECT_EQ(QLocale().country(), QLocale::UnitedStates);
        EXPECT_EQ(QCoreApplication::translate("orunapp", "确定"), QString("OK"));
    }
}

TEST_F(Configuration, OneTranslatorAfterRepeatedLoads) {
    copyTranslations();
    loadLanguage(1);
    loadLanguage(0);
    loadLanguage(1);
    EXPECT_EQ(QCoreApplication::translate("orunapp", "取消"), QString("Cancel"));
    // Taking our translator out once must leave no English behind.
    EXPECT_TRUE(QCoreApplication::removeTranslator(appTranslator()));
    EXPECT_EQ(QCoreApplication::translate("orunapp", "取消"), QString::fromUtf8("取消"));
}

TEST_F(Configuration, ClassContextsFallBackToTheSharedContext) {
    copyTranslations();
    loadLanguage(1);
    EXPECT_EQ(QCoreApplication::translate("GeneralSettingsDlg", "应用"), QString("Apply"));
    EXPECT_EQ(QCoreApplication::translate("DeviceMessages", "未插入SD卡"),
              QString("No SD card inserted"));
    // Unknown texts stay as they are.
    EXPECT_EQ(QCoreApplication::translate("GeneralSettingsDlg", "没有这个"),
              QString::fromUtf8("没有这个"));
}

TEST_F(Configuration, MissingTranslationKeepsChineseButSetsTheLocale) {
    loadLanguage(1);
    EXPECT_TRUE(appTranslator()->isEmpty());
    EXPECT_EQ(QLocale().language(), QLocale::English);
    EXPECT_EQ(QCoreApplication::translate("orunapp", "确定"), QString::fromUtf8("确定"));
    loadLanguage(0);
    EXPECT_EQ(QLocale().language(), QLocale::Chinese);
}

} // namespace

namespace {

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST_F(Configuration, DecodeModeAndStatisticsAreReadAtStartUp) {
    scramble();
    loadConfiguration();
    EXPECT_EQ(hub->iDecodeMode.load(), 0) << "hardware decoding when nothing is set";
    EXPECT_FALSE(statisticsShownAtStart());

    writeFile("[BaseOption]\ndecodeMode=1\nshowStats=true\n");
    scramble();
    loadConfiguration();
    EXPECT_EQ(hub->iDecodeMode.load(), 1);
    EXPECT_TRUE(statisticsShownAtStart());

    // Anything but software decoding asks for hardware decoding.
    for (const char* value : {"0", "2", "-1", "abc", ""}) {
        writeFile(QByteArray("[BaseOption]\ndecodeMode=") + value + "\n");
        hub->iDecodeMode = 1;
        loadConfiguration();
        EXPECT_EQ(hub->iDecodeMode.load(), 0) << value;
    }

    rememberStatisticsShown(false);
    EXPECT_FALSE(statisticsShownAtStart());
    rememberStatisticsShown(true);
    EXPECT_TRUE(statisticsShownAtStart());
}

TEST_F(Configuration, RunOverridesTakeThePlaceOfTheFileAndAreNeverWritten) {
    writeFile("[BaseOption]\nlanguage=0\nwifiMode=0\ndecodeMode=0\nshowStats=false\n"
              "usb=192.168.42.1\nwifi=192.168.0.1\n");
    const QByteArray before = fileBytes(configFilePath());
    RunOverrides run;
    run.language = 1;
    run.wifiMode = 1;
    run.decodeMode = 1;
    run.showStatistics = true;
    run.cameraAddress = QStringLiteral("127.0.0.1");
    setRunOverrides(run);
    scramble();
    loadConfiguration();
    EXPECT_EQ(hub->iLanguage.load(), 1);
    EXPECT_EQ(QLocale().language(), QLocale::English);
    EXPECT_EQ(hub->iWifiMode.load(), 1);
    EXPECT_EQ(hub->iDecodeMode.load(), 1);
    EXPECT_TRUE(statisticsShownAtStart());
    // The camera of the run is the only one tried: off the Wi-Fi's network,
    // on the USB link.
    Camera::HotspotAddresses cameras = configuredHotspotAddresses();
    EXPECT_EQ(cameras.usbCamera, QString("127.0.0.1"));
    EXPECT_TRUE(cameras.wifiCamera.isEmpty());
    run.cameraAddress = QStringLiteral("192.168.0.7");
    setRunOverrides(run);
    cameras = configuredHotspotAddresses();
    EXPECT_TRUE(cameras.usbCamera.isEmpty());
    EXPECT_EQ(cameras.wifiCamera, QString("192.168.0.7"));
    EXPECT_EQ(fileBytes(configFilePath()), before);

    // Without overrides the file speaks again.
    setRunOverrides(RunOverrides{});
    loadConfiguration();
    EXPECT_EQ(hub->iLanguage.load(), 0);
    EXPECT_EQ(hub->iWifiMode.load(), 0);
    EXPECT_EQ(hub->iDecodeMode.load(), 0);
    EXPECT_FALSE(statisticsShownAtStart());
    cameras = configuredHotspotAddresses();
    EXPECT_EQ(cameras.usbCamera, QString("192.168.42.1"));
    EXPECT_EQ(cameras.wifiCamera, QString("192.168.0.1"));
    EXPECT_EQ(fileBytes(configFilePath()), before);
}

// The station camera linked last is kept across starts (as the user's own
// name for it may read: commas, spaces, Chinese), and handed to the search
// only while "Connect to the last camera automatically" is on and the run
// names no camera of its own.
TEST_F(Configuration, LastStationCameraIsKeptAcrossStartsAndLinkedAgainOnlyWhenAsked) {
    EXPECT_TRUE(autoConnectEnabled()) << "on by default";
    EXPECT_TRUE(cameraToLinkAgain().isEmpty()) << "nothing linked yet";

    const StationCamera livingRoom{QStringLiteral("客厅, ORUN 2"), QStringLiteral("192.168.1.40")};
    rememberLinkedCamera(livingRoom);
    EXPECT_EQ(cameraToLinkAgain(), livingRoom);
    EXPECT_TRUE(fileBytes(configFilePath()).contains("lastCameraAddress=192.168.1.40"));
    // A camera without a name cannot be found again and is not kept.
    rememberLinkedCamera(StationCamera{QString(), QStringLiteral("192.168.1.41")});
    EXPECT_EQ(cameraToLinkAgain(), livingRoom);

    // Off: nothing is linked by itself, but the camera is still kept, for
    // when the setting is turned on again.
    writeFile(fileBytes(configFilePath()) + "autoConnect=false\n");
    EXPECT_FALSE(autoConnectEnabled());
    EXPECT_TRUE(cameraToLinkAgain().isEmpty());
    const StationCamera moved{livingRoom.name, QStringLiteral("192.168.1.77")};
    rememberLinkedCamera(moved);
    writeConfigValue("BaseOption/autoConnect", true);
    EXPECT_EQ(cameraToLinkAgain(), moved);

    // A camera given on the command line is the only one tried.
    RunOverrides run;
    run.cameraAddress = QStringLiteral("192.168.0.1");
    run.wifiMode = 1;
    setRunOverrides(run);
    EXPECT_TRUE(cameraToLinkAgain().isEmpty());
    setRunOverrides(RunOverrides{});
    EXPECT_EQ(cameraToLinkAgain(), moved);
}
