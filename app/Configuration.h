#pragma once

#include <QString>
#include <QTranslator>
#include <QVariant>

// The configuration file and the interface language.
//
// The file is "<application directory>/config/config.ini" in INI format,
// opened anew for every read and write so that nothing is cached between uses.

// Directory under which config/ and language/ are looked up: the application
// directory unless a test has chosen another one.
QString applicationBaseDir();
// Lets tests keep their configuration and translations away from the shared
// build folder. An empty text goes back to the application directory.
void setApplicationBaseDir(const QString& dir);

QString configFilePath();
QVariant readConfigValue(const QString& key, const QVariant& def);
void writeConfigValue(const QString& key, const QVariant& value);

// Start-up: turns target display on, reads the language (default 1, English)
// and the Wi-Fi mode (default 0, station) into the hub and loads the language.
void loadConfiguration();

// Installs the translation and default locale of a language index: 0 Chinese,
// anything else English. One translator serves the whole process.
void loadLanguage(int index);

// The process-wide translator. Interface texts are looked up under their own
// class context first and then under the shared context "orunapp", so one
// translation entry serves every widget that shows the same text.
class AppTranslator : public QTranslator {
public:
    static constexpr const char* kSharedContext = "orunapp";
    using QTranslator::QTranslator;
    QString translate(const char* context, const char* sourceText,
                      const char* disambiguation = nullptr, int n = -1) const override;
};

AppTranslator* appTranslator();
