#include "ItemLook.h"

#include "OVComboBoxBase.h"
#include "OvComboBox.h"

#include <QLineEdit>

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

void keepTextReadable(OvComboBox* box)
{
    box->setTextColour(kText);
    // Connected after the box's own handlers, so these run after it has set its rest colour.
    QObject::connect(box->comboBox(), &OVComboBoxBase::popupHidden, box, [box] { box->setTextColour(kText); });
    if (QLineEdit* edit = box->comboBox()->lineEdit())
        QObject::connect(edit, &QLineEdit::editingFinished, box, [box] { box->setTextColour(kText); });
}

}  // namespace itemlook
