// OrvaneScope's entry: font, settings, translation, splash, then the main window.
#include "AppConfig.h"
#include "InitDialog.h"
#include "Language.h"
#include "MainWidget.h"
#include "OvMessageType.h"
#include "Resources.h"
#include "TerminationSignals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDebug>
#include <QFileInfo>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    // High-DPI scaling is always on in Qt 6; the attribute of the older API is gone.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("OrvaneScope"));
    quitOnTerminationSignals();

    initViewerResources();
    registerOvMessageType();
    loadApplicationFont();

    AppConfig& config = AppConfig::instance();
    language::installTranslator(config.language());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/img/assets/Orvane logo_navigate.png")));

    // A recording given on the command line (a file manager's "open with") is opened by the
    // main window once it runs.
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A .raw recording to open."));
    parser.process(app);
    QString startupFile;
    if (!parser.positionalArguments().isEmpty()) {
        startupFile = QFileInfo(parser.positionalArguments().constFirst()).absoluteFilePath();
        if (!QFileInfo::exists(startupFile))
            qWarning() << "Recording not found:" << startupFile;
    }

    {
        InitDialog splash;
        splash.exec();
    }
    if (terminationRequested())
        return 0;

    MainWidget window(&config);
    window.setStartupFile(startupFile);
    window.show();
    return app.exec();
}
