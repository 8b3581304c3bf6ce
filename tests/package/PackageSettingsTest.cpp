// The Debian package as a user meets it: unpacked into a scratch root as apt
// would put it under /, started through the link in usr/bin with its program
// folder read-only and a scratch home, camsim on loopback. The settings dialog
// is driven through the X server with the pointer and the keyboard; where its
// buttons are is read from the same window and dialog built in this process,
// from the same code and translations, at the size of the real ones.

#include "XDriver.h"
#include "tests/e2e/CamsimProcess.h"
#include "tests/ui/settings/FakeSettingsEnvironment.h"

#include "app/Configuration.h"
#include "ui/OrunAppUI.h"
#include "ui/settings/GeneralSettingsDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

namespace {

QString packageFile() {
    const QStringList debs = QDir(ORUN_PACKAGE_DIR).entryList({"*.deb"}, QDir::Files);
    return debs.size() == 1 ? QStringLiteral(ORUN_PACKAGE_DIR "/") + debs.first() : QString();
}

// Runs a program to its end; true when it succeeded.
bool runTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Takes the write permission from everything under `dir`, or gives the owner's
// back. Enough for an ordinary account; the administrator writes anyway.
void setWritable(const QString& dir, bool writable) {
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    QStringList paths{dir};
    while (it.hasNext())
        paths << it.next();
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isSymLink())
            continue;
        QFile::Permissions p = info.permissions();
        p &= ~(QFileDevice::WriteOwner | QFileDevice::WriteUser | QFileDevice::WriteGroup |
               QFileDevice::WriteOther);
        if (writable)
            p |= QFileDevice::WriteOwner | QFileDevice::WriteUser;
        QFile::setPermissions(path, p);
    }
}

int modeOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return static_cast<int>(st.st_mode & 07777);
}

// Where the buttons of the program's windows are: its main window and its
// settings dialog built here, never shown on the screen, in English as the
// program starts without a configuration.
class WidgetMap {
public:
    WidgetMap() {
        setApplicationBaseDir(m_dir.path());
        QDir().mkpath(m_dir.path() + "/language");
        // Tests run in build/bin, beside the built translations.
        QFile::copy(QDir::currentPath() + "/language/orunapp_en_cn.qm",
                    m_dir.path() + "/language/orunapp_en_cn.qm");
        m_window = std::make_unique<OrunAppUI>();
        m_window->setAttribute(Qt::WA_DontShowOnScreen);
        m_window->show();
        m_env.connected = false;
        m_env.link = 0;
        m_dialog = std::make_unique<GeneralSettingsDlg>(m_env);
        m_dialog->setAttribute(Qt::WA_DontShowOnScreen);
        m_dialog->show();
        QCoreApplication::processEvents();
    }
    ~WidgetMap() {
        m_dialog.reset();
        m_window.reset();
        setApplicationBaseDir(QString());
    }

    // Centre of the named child of the main window at `size`, in window coordinates.
    QPoint inWindow(const char* name, QSize size) {
        m_window->resize(size);
        QCoreApplication::processEvents();
        return centreOf(m_window.get(), name);
    }
    QPoint inDialog(const char* name) { return centreOf(m_dialog.get(), name); }
    QSize dialogSize() const { return m_dialog->size(); }
    // Clicks the named button here too, so that both dialogs show the same page.
    void clickInDialog(const char* name) {
        if (auto* b = m_dialog->findChild<QAbstractButton*>(name))
            b->click();
        QCoreApplication::processEvents();
    }

private:
    static QPoint centreOf(QWidget* top, const char* name) {
        QWidget* w = top->findChild<QWidget*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w ? w->mapTo(top, w->rect().center()) : QPoint();
    }

    QTemporaryDir m_dir;
    FakeEnvironment m_env;
    std::unique_ptr<OrunAppUI> m_window;
    std::unique_ptr<GeneralSettingsDlg> m_dialog;
};

class InstalledPackage : public ::testing::Test {
protected:
    void SetUp() override {
        const QString deb = packageFile();
        ASSERT_FALSE(deb.isEmpty())
            << "no package in " ORUN_PACKAGE_DIR " (the test package_deb makes it)";
        ASSERT_TRUE(scratch.isValid());
        root = scratch.path() + "/root";
        home = scratch.path() + "/home";
        ASSERT_TRUE(QDir().mkpath(home));
        ASSERT_TRUE(runTool("dpkg-deb", {"--extract", deb, root}));
        launcher = root + "/usr/bin/orunapp";
        programDir = QFileInfo(QFileInfo(launcher).canonicalFilePath()).absolutePath();
        ASSERT_TRUE(programDir.startsWith(root + "/usr/lib")) << qPrintable(programDir);
        asAdministrator = ::geteuid() == 0;
        if (!asAdministrator)
            setWritable(programDir, false);
        ASSERT_TRUE(camsim.start());
    }
    void TearDown() override {
        if (HasFailure())
            saveScreen();
        if (program) {
            program->kill();
            program->waitForFinished(5000);
        }
        if (!asAdministrator && !programDir.isEmpty())
            setWritable(programDir, true); // so that the scratch root can be removed
    }

    // The whole screen, for a look at what went wrong.
    static void saveScreen() {
        QString dir = qEnvironmentVariable("ORUN_TEST_ARTIFACTS");
        if (dir.isEmpty())
            dir = QDir::tempPath();
        QDir().mkpath(dir);
        const QString file = dir + "/package-settings-failure.png";
        if (QGuiApplication::primaryScreen()->grabWindow(0).save(file))
            std::fprintf(stderr, "screen at the failure: %s\n", qPrintable(file));
    }

    QString userConfig() const { return home + "/.config/orunapp/config.ini"; }

    // Starts the unpacked program as a menu entry would, through usr/bin.
    // Permission bits do not stop the administrator, so for the administrator
    // the program runs in a mount namespace of its own in which its folder is
    // a read-only bind mount.
    void startProgram() {
        program = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home);
        env.remove("XDG_CONFIG_HOME");
        env.remove("QT_QPA_PLATFORM");
        program->setProcessEnvironment(env);
        program->setProcessChannelMode(QProcess::MergedChannels);
        if (asAdministrator) {
            program->start("unshare",
                           {"--mount", "--propagation", "private", "sh", "-c",
                            "mount --bind \"$1\" \"$1\" && mount -o remount,bind,ro \"$1\" && "
                            "exec \"$2\"",
                            "sh", programDir, launcher});
        } else {
            program->start(launcher, QStringList());
        }
        ASSERT_TRUE(program->waitForStarted(10000)) << qPrintable(program->errorString());
        // The main window is at least 1140 x 640.
        mainWindow = xdriver::waitForWindow(
            program->processId(), [](const XWindow& w) { return w.rect.width() >= 1140; }, 30000);
        ASSERT_TRUE(mainWindow.valid()) << "no main window; program said:\n"
                                        << program->readAll().constData();
    }

    // Closes the program with its title bar's close button and waits for it to end.
    void closeProgram(WidgetMap& map) {
        ASSERT_TRUE(xdriver::click(mainWindow, map.inWindow("tbClose", mainWindow.rect.size())))
            << qPrintable(xdriver::lastError());
        ASSERT_TRUE(program->waitForFinished(20000)) << "the program did not end";
        output += program->readAll();
        EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program->exitCode(), 0) << output.constData();
        program.reset();
    }

    QTemporaryDir scratch;
    QString root, home, launcher, programDir;
    bool asAdministrator = false;
    CamsimProcess camsim;
    std::unique_ptr<QProcess> program;
    XWindow mainWindow;
    QByteArray output; // everything the program wrote
};

TEST_F(InstalledPackage, SettingsChangedInTheDialogAreKeptInTheUsersHome) {
    WidgetMap map;

    // First start, no configuration anywhere: English, station mode.
    ASSERT_NO_FATAL_FAILURE(startProgram());
    const qint64 pid = program->processId();
    ASSERT_TRUE(xdriver::click(mainWindow, map.inWindow("tbGeneraSetting", mainWindow.rect.size())))
        << qPrintable(xdriver::lastError());
    const QSize dialogSize = map.dialogSize();
    const XWindow dialog = xdriver::waitForWindow(
        pid, [&](const XWindow& w) { return w.rect.size() == dialogSize; }, 10000);
    ASSERT_TRUE(dialog.valid()) << "the settings dialog did not open";

    // Language page; the wheel over the list steps from English to Chinese.
    ASSERT_TRUE(xdriver::click(dialog, map.inDialog("tbLanguage")));
    map.clickInDialog("tbLanguage");
    ASSERT_TRUE(xdriver::click(dialog, map.inDialog("cbLanguage"), 4));
    ASSERT_TRUE(xdriver::click(dialog, map.inDialog("tbApply")));
    // Applying a language tells the user that it takes effect at the next start.
    const XWindow notice = xdriver::waitForWindow(
        pid, [&](const XWindow& w) { return w.id != mainWindow.id && w.id != dialog.id; }, 10000);
    ASSERT_TRUE(notice.valid()) << "no notice after Apply: the language did not change";
    ASSERT_TRUE(xdriver::key(notice, "Return")) << qPrintable(xdriver::lastError());
    ASSERT_TRUE(xdriver::waitUntilGone(pid, notice, 10000));
    ASSERT_TRUE(xdriver::click(dialog, map.inDialog("tbClose")));
    ASSERT_TRUE(xdriver::waitUntilGone(pid, dialog, 10000));
    ASSERT_NO_FATAL_FAILURE(closeProgram(map));

    // The setting went to the user's configuration folder, created for it,
    // the owner's alone; nothing beside the program.
    ASSERT_TRUE(QFile::exists(userConfig())) << qPrintable(userConfig());
    EXPECT_EQ(modeOf(userConfig()), 0600);
    EXPECT_EQ(QSettings(userConfig(), QSettings::IniFormat).value("BaseOption/language").toInt(),
              0);
    EXPECT_FALSE(QFileInfo::exists(programDir + "/config"));

    // The user gives the camera's addresses by hand, as for hotspot mode; the
    // station network of an earlier session is in the file too.
    const QString password = "pw-of-the-station-5521";
    {
        QSettings ini(userConfig(), QSettings::IniFormat);
        ini.setValue("BaseOption/wifiMode", 1);
        ini.setValue("BaseOption/usb", "127.0.0.1");
        ini.setValue("BaseOption/wifi", "192.168.0.1");
        ini.setValue("BaseOption/wifiSsid", "home");
        ini.setValue("BaseOption/wifiPasswd", password);
        ini.sync();
    }

    // Second start: the program reads that file (it finds camsim at the
    // address given there), and the language chosen before is still set.
    const size_t before = camsim.requests().size();
    ASSERT_NO_FATAL_FAILURE(startProgram());
    EXPECT_TRUE(QTest::qWaitFor([&] { return camsim.requests().size() > before; }, 20000))
        << "the program did not reach camsim with the addresses of " << qPrintable(userConfig());
    ASSERT_NO_FATAL_FAILURE(closeProgram(map));
    QSettings after(userConfig(), QSettings::IniFormat);
    EXPECT_EQ(after.value("BaseOption/language").toInt(), 0);
    EXPECT_EQ(after.value("BaseOption/usb").toString(), QString("127.0.0.1"));
    EXPECT_EQ(after.value("BaseOption/wifiPasswd").toString(), password);
    EXPECT_EQ(modeOf(userConfig()), 0600);
    EXPECT_FALSE(QFileInfo::exists(programDir + "/config"));
    EXPECT_FALSE(output.contains(password.toUtf8())) << "the password is in the program's output";
}

} // namespace
