#include "ItemLook.h"

#include "OVComboBoxBase.h"
#include "OvComboBox.h"

#include <QLineEdit>
#include <QRegularExpression>

namespace itemlook {

namespace {
const QString kText = QStringLiteral("#555555");
}

QString breakableName(const std::string& name)
{
    QString text = QString::fromStdString(name);
    text.replace(QLatin1Char('_'), QStringLiteral("_\u200B"));
    return text;
}

QString replaceFirstRule(const QString& sheet, const QRegularExpression& pattern, const QString& rule)
{
    const QRegularExpressionMatch match = pattern.match(sheet);
    if (!match.hasMatch())
        return sheet + rule;
    QString result = sheet;
    result.replace(match.capturedStart(1), match.capturedLength(1), rule);
    return result;
}

void keepTextReadable(OvComboBox* box)
{
    box->setTextColour(kText);
    // Connected after the box's own handlers, so these run after it has set its rest colour.
    QObject::connect(box->comboBox(), &OVComboBoxBase::popupHidden, box, [box] { box->setTextColour(kText); });
    if (QLineEdit* edit = box->comboBox()->lineEdit())
        QObject::connect(edit, &QLineEdit::editingFinished, box, [box] { box->setTextColour(kText); });
}

}  // namespace itemlook
