#include "app/Configuration.h"
#include "hub/OrunAppFace.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

namespace {

// Each test works in its own directory, with copies of the built translations.
class Configuration : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        setApplicationBaseDir(dir.path());
        hub = OrunAppFace::instance();
    }
    void TearDown() override {
        QCoreApplication::removeTranslator(appTranslator());
        setApplicationBaseDir(QString());
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
        ASSERT_TRUE(QDir(dir.path()).mkpath("config"));
        QFile f(dir.path() + "/config/config.ini");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    void scramble() {
        hub->iLanguage = 7;
        hub->iWifiMode = 9;
        hub->showTarget = false;
    }

    QTemporaryDir dir;
    OrunAppFace* hub = nullptr;
};

TEST_F(Configuration, FileLivesUnderTheApplicationDirectory) {
    EXPECT_EQ(configFilePath(), dir.path() + "/config/config.ini");
    setApplicationBaseDir(QString());
    EXPECT_EQ(configFilePath(), QCoreApplication::applicationDirPath() + "/config/config.ini");
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
