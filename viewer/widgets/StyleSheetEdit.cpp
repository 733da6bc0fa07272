#include "StyleSheetEdit.h"

#include <QRegularExpression>

namespace stylesheet {

namespace {

QString replaceFirst(const QString& sheet, const QRegularExpression& re, const QString& declaration)
{
    const QRegularExpressionMatch match = re.match(sheet);
    if (!match.hasMatch()) {
        QString result = sheet;
        if (!result.isEmpty() && !result.trimmed().endsWith(QLatin1Char(';')) && !result.trimmed().endsWith(QLatin1Char('}')))
            result += QLatin1Char(';');
        return result + declaration;
    }
    QString result = sheet;
    result.replace(match.capturedStart(1), match.capturedLength(1), declaration);
    return result;
}

}  // namespace

QString replaceColour(const QString& sheet, const QString& colour)
{
    // "\bcolor" alone would also hit background-color, hence the look-behind.
    static const QRegularExpression re(QStringLiteral("(?<![-\\w])(color\\s*:[^;]*;)"));
    return replaceFirst(sheet, re, QStringLiteral("color: ") + colour + QLatin1Char(';'));
}

QString replaceBorder(const QString& sheet, const QString& value)
{
    static const QRegularExpression re(QStringLiteral("(?<![-\\w])(border\\s*:[^;]*;)"));
    return replaceFirst(sheet, re, QStringLiteral("border: ") + value + QLatin1Char(';'));
}

}  // namespace stylesheet
