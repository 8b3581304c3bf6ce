#include "app/Configuration.h"

#include "hub/OrunAppFace.h"

#include <QCoreApplication>
#include <QLocale>
#include <QMutex>
#include <QMutexLocker>
#include <QSettings>

#include <cstring>

namespace {

QMutex& baseDirMutex() {
    static QMutex mutex;
    return mutex;
}

QString& baseDirOverride() {
    static QString dir;
    return dir;
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
    QMutexLocker lock(&baseDirMutex());
    if (!baseDirOverride().isEmpty())
        return baseDirOverride();
    return QCoreApplication::applicationDirPath();
}

void setApplicationBaseDir(const QString& dir) {
    QMutexLocker lock(&baseDirMutex());
    baseDirOverride() = dir;
}

QString configFilePath() {
    return applicationBaseDir() + "/config/config.ini";
}

QVariant readConfigValue(const QString& key, const QVariant& def) {
    QSettings settings(configFilePath(), QSettings::IniFormat);
    return settings.value(key, def);
}

void writeConfigValue(const QString& key, const QVariant& value) {
    QSettings settings(configFilePath(), QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
}

void loadConfiguration() {
    OrunAppFace* hub = OrunAppFace::instance();
    hub->showTarget = true;

    bool ok = false;
    int language = readConfigValue("BaseOption/language", 1).toInt(&ok);
    if (!ok)
        language = 1;
    hub->iLanguage = language;
    loadLanguage(language);

    int wifiMode = readConfigValue("BaseOption/wifiMode", 0).toInt(&ok);
    if (!ok)
        wifiMode = 0;
    hub->iWifiMode = wifiMode;
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
