#include "app/Configuration.h"

#include "app/RunOptions.h"
#include "hub/OrunAppFace.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QtGlobal>

#include <cstring>
#include <mutex>

namespace {

std::mutex& baseDirMutex() {
    static std::mutex mutex;
    return mutex;
}

QString& baseDirOverride() {
    static QString dir;
    return dir;
}

// Where the configuration went for the program folder it was decided for.
struct PlaceChoice {
    QString baseDir; // empty: not decided yet
    bool besideProgram = false;
};

PlaceChoice& placeChoice() {
    static PlaceChoice choice;
    return choice;
}

const char* const kConfigFolder = "/config";
const char* const kConfigFile = "/config.ini";

// True when a new file can be created in `folder` (which exists), tried with a
// scratch file that is removed again at once.
bool acceptsNewFiles(const QString& folder) {
    QTemporaryFile probe(folder + QStringLiteral("/.orunapp-probe-XXXXXX"));
    return probe.open();
}

// True when the configuration may be kept in `base`/config/ (see configFilePath).
bool mayWriteBeside(const QString& base) {
    const QString folder = base + QLatin1String(kConfigFolder);
    const QString file = folder + QLatin1String(kConfigFile);
    // QSettings replaces the file through a new one beside it, which needs
    // both the file and its folder.
    const QFileInfo fileInfo(file);
    if (fileInfo.exists())
        return fileInfo.isWritable() && acceptsNewFiles(folder);
    const QFileInfo folderInfo(folder);
    if (folderInfo.exists())
        return folderInfo.isDir() && acceptsNewFiles(folder);
    return QFileInfo(base).isDir() && acceptsNewFiles(base);
}

// Narrows the file to its owner (0600). Not on Windows, where Qt would only
// clear the read-only flag; there the user's profile folder keeps others out.
void restrictToOwner(const QString& file) {
#ifndef Q_OS_WIN
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#else
    Q_UNUSED(file);
#endif
}

// Makes sure the file exists, empty if new, and is its owner's alone before
// anything is written into it. QSettings writes a new file and renames it over
// the old one, giving the new one the old one's permissions: so the values
// never sit in a file that others may read.
bool preparePrivateFile(const QString& file) {
    if (!QDir().mkpath(QFileInfo(file).absolutePath()))
        return false;
    if (!QFileInfo::exists(file)) {
        QFile created(file);
        if (!created.open(QIODevice::WriteOnly | QIODevice::NewOnly) && !QFileInfo::exists(file))
            return false;
    }
    restrictToOwner(file);
    return true;
}

struct LanguageEntry {
    const char* file;
    QLocale::Language language;
    QLocale::Country country;
};

const LanguageEntry kLanguages[2] = {
    {"/language/orunapp_zh_cn.qm", QLocale::Chinese, QLocale::China},
    {"/language/orunapp_en_cn.qm", QLocale::English, QLocale::UnitedStates},
};

} // namespace

QString applicationBaseDir() {
    std::lock_guard<std::mutex> lock(baseDirMutex());
    if (!baseDirOverride().isEmpty())
        return baseDirOverride();
    return QCoreApplication::applicationDirPath();
}

void setApplicationBaseDir(const QString& dir) {
    std::lock_guard<std::mutex> lock(baseDirMutex());
    baseDirOverride() = dir;
    placeChoice() = PlaceChoice();
}

QString configFilePath() {
    const QString base = applicationBaseDir();
    bool beside = false;
    {
        // Held while deciding, so that two threads asking first decide once.
        std::lock_guard<std::mutex> lock(baseDirMutex());
        PlaceChoice& choice = placeChoice();
        if (choice.baseDir != base) {
            choice.baseDir = base;
            choice.besideProgram = mayWriteBeside(base);
        }
        beside = choice.besideProgram;
    }
    const QString besidePath = base + QLatin1String(kConfigFolder) + QLatin1String(kConfigFile);
    if (beside)
        return besidePath;
    const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    // Without a home folder there is nowhere better: the values are still read
    // from beside the program, and a write reports its failure.
    if (userFolder.isEmpty())
        return besidePath;
    return userFolder + QLatin1String(kConfigFile);
}

QVariant readConfigValue(const QString& key, const QVariant& def) {
    QSettings settings(configFilePath(), QSettings::IniFormat);
    return settings.value(key, def);
}

void writeConfigValue(const QString& key, const QVariant& value) {
    const QString file = configFilePath();
    if (!preparePrivateFile(file)) {
        qWarning() << "Configuration not saved: cannot create" << file;
        return;
    }
    QSettings settings(file, QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
    restrictToOwner(file);
    if (settings.status() != QSettings::NoError)
        qWarning() << "Configuration not saved:" << key << "in" << file;
}

namespace {

// An integer setting: the run's value when given, else the configured one
// (`def` when absent or not a number).
int intSetting(const std::optional<int>& run, const char* key, int def) {
    if (run)
        return *run;
    bool ok = false;
    const int value = readConfigValue(QLatin1String(key), def).toInt(&ok);
    return ok ? value : def;
}

} // namespace

void loadConfiguration() {
    OrunAppFace* hub = OrunAppFace::instance();
    const RunOverrides run = runOverrides();
    hub->showTarget = true;

    const int language = intSetting(run.language, "BaseOption/language", 1);
    hub->iLanguage = language;
    loadLanguage(language);

    hub->iWifiMode = intSetting(run.wifiMode, "BaseOption/wifiMode", 0);

    // Anything but software decoding asks for hardware decoding, as before
    // the setting existed.
    hub->iDecodeMode = intSetting(run.decodeMode, "BaseOption/decodeMode", 0) == 1 ? 1 : 0;
}

bool statisticsShownAtStart() {
    const RunOverrides run = runOverrides();
    if (run.showStatistics)
        return *run.showStatistics;
    return readConfigValue(QStringLiteral("BaseOption/showStats"), false).toBool();
}

void rememberStatisticsShown(bool shown) {
    writeConfigValue(QStringLiteral("BaseOption/showStats"), shown);
}

QString AppTranslator::translate(const char* context, const char* sourceText,
                                 const char* disambiguation, int n) const {
    QString text = QTranslator::translate(context, sourceText, disambiguation, n);
    if (text.isEmpty() && (!context || std::strcmp(context, kSharedContext) != 0))
        text = QTranslator::translate(kSharedContext, sourceText, disambiguation, n);
    return text;
}

AppTranslator* appTranslator() {
    // No parent and never deleted: it stays installed until the process ends.
    static AppTranslator* translator = new AppTranslator();
    return translator;
}

void loadLanguage(int index) {
    const LanguageEntry& entry = kLanguages[index == 0 ? 0 : 1];

    // The translator is taken out before it is reloaded, so it is never
    // listed twice, and a failed load leaves no translator installed (load()
    // empties it first): the interface then shows its own Chinese texts.
    AppTranslator* translator = appTranslator();
    QCoreApplication::removeTranslator(translator);
    if (translator->load(applicationBaseDir() + entry.file))
        QCoreApplication::installTranslator(translator);

    QLocale::setDefault(QLocale(entry.language, entry.country));
}
