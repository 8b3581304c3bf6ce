#pragma once

#include <QString>
#include <QTranslator>
#include <QVariant>

// The configuration file and the interface language.
//
// The configuration is one INI file, opened anew for every read and write so
// that nothing is cached between uses. configFilePath() alone decides where it
// lives; everything that reads or writes it goes through the functions below.

// The program folder: language/ and icon/ are read from it, and config/ is kept
// in it when the program may write there. The application directory unless a
// test has chosen another one.
QString applicationBaseDir();
// Lets tests keep their configuration and translations away from the shared
// build folder. An empty text goes back to the application directory.
void setApplicationBaseDir(const QString& dir);

// Where the configuration file is (it need not exist yet):
//  - "<program folder>/config/config.ini" when the program may write there: a
//    copy of the program in a folder of the user's own, the build folder, the
//    demo;
//  - otherwise "config.ini" in the user's configuration folder
//    (QStandardPaths::AppConfigLocation, e.g. ~/.config/orunapp/config.ini on
//    Linux), as for a program installed into a system folder.
// "May write": config.ini, when it exists, is writable for this account, and a
// file can really be created in config/, or in the program folder while
// config/ does not exist (so permission bits, access lists, read-only mounts
// and the administrator account all have their say). The choice is made once
// per program folder and kept for the life of the process.
QString configFilePath();

// Reads a key; `def` when the file or the key is missing. Never creates the file.
QVariant readConfigValue(const QString& key, const QVariant& def);
// Writes a key. The file holds the station Wi-Fi password, so it is created
// readable and writable by its owner only, and an older file is narrowed to
// that before it is written (on Windows the user's profile folder protects
// it). A failed save is reported in the debug log with the path, never the value.
void writeConfigValue(const QString& key, const QVariant& value);

// Start-up: turns target display on, reads the language (default 1, English),
// the Wi-Fi mode (default 0, station) and the decode mode (default 0,
// hardware) into the hub and loads the language. Settings given for this run
// (RunOverrides) take the place of the configured ones.
void loadConfiguration();

// Whether the statistics over the video show at start: the run's choice, else
// BaseOption/showStats (default off).
bool statisticsShownAtStart();
// Remembers the user's choice of showing the statistics.
void rememberStatisticsShown(bool shown);

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
