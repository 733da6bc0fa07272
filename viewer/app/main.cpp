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

#include <cstdio>

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

    // OrvaneScope [FILE.raw] [--camera SERIAL]: a recording (a file manager's "open with") or a
    // camera to open once the main window runs, as the menu commands would.
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("OrvaneScope: live view, recording and replay of event cameras."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("FILE.raw"), QStringLiteral("A raw recording to open and play."),
                                 QStringLiteral("[FILE.raw]"));
    const QCommandLineOption cameraOption(QStringLiteral("camera"),
                                          QStringLiteral("Open the camera with this serial number and stream it."),
                                          QStringLiteral("SERIAL"));
    parser.addOption(cameraOption);
    parser.process(app);
    QString startupFile;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        std::fprintf(stderr, "OrvaneScope: one recording at a time (got %lld)\n", static_cast<long long>(positional.size()));
        return 2;
    }
    if (!positional.isEmpty())
        startupFile = QFileInfo(positional.constFirst()).absoluteFilePath();
    const QString startupCamera = parser.value(cameraOption);
    if (!startupFile.isEmpty() && !startupCamera.isEmpty()) {
        std::fprintf(stderr, "OrvaneScope: give a recording or --camera, not both\n");
        return 2;
    }

    {
        InitDialog splash;
        splash.exec();
    }
    if (terminationRequested())
        return 0;

    MainWidget window(&config);
    window.setStartupFile(startupFile);
    window.setStartupCamera(startupCamera);
    window.show();
    return app.exec();
}
