#include "Resources.h"

#include <QApplication>
#include <QDebug>
#include <QFont>
#include <QFontDatabase>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initResourcesOnce()
{
    Q_INIT_RESOURCE(resources);
    Q_INIT_RESOURCE(generated_images);
    Q_INIT_RESOURCE(translations);
    Q_INIT_RESOURCE(font);
}

void initViewerResources()
{
    static const bool done = (initResourcesOnce(), true);
    (void)done;
}

bool loadApplicationFont()
{
    const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/font/NotoSansSC-Medium.ttf"));
    if (id == -1) {
        qWarning() << "Failed to load font!";
        return false;
    }
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (families.isEmpty())
        return true;
    // The embedded file is the packaged CJK collection, whose first face is the Japanese one:
    // prefer its Simplified Chinese face so that Chinese text gets Chinese glyph forms.
    QString family = families.first();
    for (const QString& f : families) {
        if (f.contains(QLatin1String("CJK SC"))) {
            family = f;
            break;
        }
    }
    QFont::insertSubstitution(QStringLiteral("Noto Sans SC Medium"), family);
    QFont::insertSubstitution(QStringLiteral("Noto Sans SC"), family);
    QFont font(family);
    font.setHintingPreference(QFont::PreferNoHinting);
    QApplication::setFont(font);
    return true;
}
