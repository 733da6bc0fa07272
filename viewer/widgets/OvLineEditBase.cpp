#include "OvLineEditBase.h"

#include "StyleSheetEdit.h"

OvLineEditBase::OvLineEditBase(QWidget* parent) : QLineEdit(parent)
{
    setAlignment(Qt::AlignCenter);
    setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid #ACACAC; font-family: \"Noto Sans SC Medium\"; "
                                 "font-size: 12px; color: #555555; border-radius: 3px; background-color: #FFFFFF; }"));
}

void OvLineEditBase::setBorderColour(const QString& colour)
{
    setStyleSheet(stylesheet::replaceBorder(styleSheet(), QStringLiteral("1px solid ") + colour));
}

void OvLineEditBase::focusInEvent(QFocusEvent* event)
{
    setBorderColour(QStringLiteral("#004B6A"));
    Q_EMIT signalMouseHoverd(true);
    QLineEdit::focusInEvent(event);
}

void OvLineEditBase::focusOutEvent(QFocusEvent* event)
{
    setBorderColour(QStringLiteral("#ACACAC"));
    QLineEdit::focusOutEvent(event);
    Q_EMIT signalMouseHoverd(false);
}
