#include "Language.h"

#include "AppConfig.h"
#include "OVMessageBox.h"

#include <QApplication>
#include <QDebug>
#include <QProcess>
#include <QTranslator>

namespace language {

QTranslator* installTranslator(const QString& language)
{
    auto* translator = new QTranslator(qApp);
    const QString file = language == QLatin1String("zh") ? QStringLiteral(":/app_zh.qm")
                                                         : QStringLiteral(":/app_en.qm");
    if (!translator->load(file)) {
        qWarning() << "Load language failed.";
        delete translator;
        return nullptr;
    }
    if (!QCoreApplication::installTranslator(translator)) {
        qWarning() << "install translator failed.";
        delete translator;
        return nullptr;
    }
    return translator;
}

QString otherLanguage(const QString& language)
{
    return language == QLatin1String("en") ? QStringLiteral("zh") : QStringLiteral("en");
}

void restartApplication()
{
    QProcess::startDetached(QCoreApplication::applicationFilePath(), {});
}

bool askAndChangeLanguage(QWidget* parent, AppConfig& config, const std::function<void()>& restart)
{
    OVMessageBox box(QCoreApplication::translate("Language", "The language change will take effect after restart."),
                     QCoreApplication::translate("Language", "Tips"),
                     QCoreApplication::translate("Language", "Restart"),
                     QCoreApplication::translate("Language", "Later"), parent);
    if (box.exec() != QDialog::Accepted)
        return false;
    config.setLanguage(otherLanguage(config.language()));
    config.save();
    QApplication::closeAllWindows();
    if (restart)
        restart();
    return true;
}

}  // namespace language
