// OrvaneScope's entry: font, settings, translation, splash, then the main window.
#include "AppConfig.h"
#include "InitDialog.h"
#include "Language.h"
#include "MainWidget.h"
#include "OvMessageType.h"
#include "Resources.h"
#include "TerminationSignals.h"
#include "Version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDebug>
#include <QFileInfo>
#include <QIcon>

#include <cstdio>
#include <string_view>

namespace {

// OrvaneScope [FILE.raw] [--camera SERIAL]: a recording (a file manager's "open with") or a camera to
// open once the main window runs, as the menu commands would.
struct CommandLine {
    QCommandLineParser parser;
    QCommandLineOption camera{QStringLiteral("camera"),
                              QStringLiteral("Open the camera with this serial number and stream it."),
                              QStringLiteral("SERIAL")};
    CommandLine()
    {
        parser.setApplicationDescription(
            QStringLiteral("OrvaneScope: live view, recording and replay of event cameras."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addPositionalArgument(QStringLiteral("FILE.raw"), QStringLiteral("A raw recording to open and play."),
                                     QStringLiteral("[FILE.raw]"));
        parser.addOption(camera);
    }
};

void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("OrvaneScope"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kOrvaneScopeVersion));
}

// Help and version are text only: they need no display (a GUI application aborts without one).
bool asksForTextOnly(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg == "--") break;
        if (arg == "-h" || arg == "--help" || arg == "-?" || arg == "--help-all" || arg == "-v" || arg == "--version")
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (asksForTextOnly(argc, argv)) {
        QCoreApplication core(argc, argv);
        nameApplication();
        CommandLine line;
        line.parser.process(core);  // prints and exits
        return 0;
    }

    QApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    // High-DPI scaling is always on in Qt 6; the attribute of the older API is gone.
    QApplication app(argc, argv);
    nameApplication();
    quitOnTerminationSignals();

    initViewerResources();
    registerOvMessageType();
    loadApplicationFont();

    AppConfig& config = AppConfig::instance();
    language::installTranslator(config.language());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/img/assets/Orvane logo_navigate.png")));

    CommandLine line;
    QCommandLineParser& parser = line.parser;
    parser.process(app);
    QString startupFile;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        std::fprintf(stderr, "OrvaneScope: one recording at a time (got %lld)\n", static_cast<long long>(positional.size()));
        return 2;
    }
    if (!positional.isEmpty())
        startupFile = QFileInfo(positional.constFirst()).absoluteFilePath();
    const QString startupCamera = parser.value(line.camera);
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
