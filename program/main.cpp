#include "app/Configuration.h"
#include "hub/OrunAppFace.h"
#include "program/CommandLine.h"
#include "program/Composition.h"
#include "program/StopSignals.h"
#include "ui/OrunAppUI.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    // The name also places the per-user configuration folder (QStandardPaths).
    QCoreApplication::setApplicationName(QStringLiteral("orunapp"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORUN_VERSION));

    const CommandLine command = parseCommandLine(programArguments(argc, argv));
    switch (command.action) {
    case CommandLine::Action::Run:
        break;
    case CommandLine::Action::Version:
        std::printf("%s\n", qPrintable(versionText()));
        return 0;
    case CommandLine::Action::Help: {
        // Where the configuration lives depends on the program's folder.
        QCoreApplication core(argc, argv);
        std::printf("%s", qPrintable(commandLineHelp(configFilePath())));
        return 0;
    }
    case CommandLine::Action::Error:
        std::fprintf(stderr, "orunapp: %s\nTry 'orunapp --help' for more information.\n",
                     qPrintable(command.error));
        return kUsageError;
    }
    setRunOverrides(command.overrides);

    // Sharp at 150 % and 200 %: both must be set before the application exists.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    registerQueuedTypes();

    // The window's construction reads the configuration and loads the language.
    auto* window = new OrunAppUI();
    window->show();
    if (command.overrides.fullScreen)
        window->setFullScreenView(true);
    OrunAppFace::instance()->uiActive = true;
    // A logout, `kill`, Ctrl+C: the program closes as by its close button,
    // recordings finished and every thread joined.
    installStopSignals([window] { window->on_tbClose_clicked(); });

    startProgram();

    const int result = app.exec();
    delete window;
    return result;
}
