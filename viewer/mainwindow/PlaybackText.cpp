#include "PlaybackText.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

QString formatTime(uint64_t us)
{
    const uint64_t minutes = us / 60000000u;
    const uint64_t seconds = (us / 1000000u) % 60u;
    const uint64_t micros = us % 1000000u;
    return QStringLiteral("%1:%2:%3")
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'))
        .arg(micros, 6, 10, QLatin1Char('0'));
}

QString formatElapsed(uint64_t seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600u, 2, 10, QLatin1Char('0'))
        .arg((seconds / 60u) % 60u, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60u, 2, 10, QLatin1Char('0'));
}

QString timestampedFileName(const QDateTime& when, const QString& suffix)
{
    return when.toString(QStringLiteral("yyyyMMdd_HHmmss")) + suffix;
}

QString uniqueFilePath(const QString& folder, const QString& baseName, const QString& suffix,
                       const QStringList& alsoFree)
{
    const QDir dir(folder);
    for (int n = 0;; ++n) {
        const QString base = n == 0 ? baseName : QStringLiteral("%1_%2").arg(baseName).arg(n);
        bool taken = QFileInfo::exists(dir.filePath(base + suffix));
        for (const QString& other : alsoFree)
            taken = taken || QFileInfo::exists(dir.filePath(base + other));
        if (!taken)
            return dir.filePath(base + suffix);
    }
}
