#include "OVComboBoxBase.h"

#include <QApplication>
#include <QListView>
#include <QWheelEvent>

void NoFocusFrameDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const
{
    QStyleOptionViewItem plain(option);
    plain.state &= ~QStyle::State_HasFocus;
    QStyledItemDelegate::paint(painter, plain, index);
}

OVComboBoxBase::OVComboBoxBase(QWidget* parent) : QComboBox(parent)
{
    QApplication::setEffectEnabled(Qt::UI_AnimateCombo, false);
    setEditable(true);
    auto* list = new QListView(this);
    setView(list);
    setItemDelegate(new NoFocusFrameDelegate(this));
    if (QWidget* container = view()->parentWidget();
        container && qstrcmp(container->metaObject()->className(), "QComboBoxPrivateContainer") == 0)
        container->setWindowFlag(Qt::NoDropShadowWindowHint, true);
    // The first rule's colour is the text colour the owner switches (rest / highlighted).
    setStyleSheet(QStringLiteral(
        "QComboBox { color: #A7A7A7; font-family: \"Noto Sans SC Medium\"; font-size: 12px; "
        "background-color: #FFFFFF; border: 1px solid #A7A7A7; border-radius: 3px; padding-left: 8px; min-height: 26px; }\n"
        "QComboBox:on { border: 1px solid #004B6A; }\n"
        "QComboBox::drop-down { subcontrol-origin: padding; subcontrol-position: center right; width: 24px; border: none; }\n"
        "QComboBox::down-arrow { image: url(:/img/assets/bnt_arrow_down.svg); width: 12px; height: 12px; }\n"
        "QComboBox::down-arrow:on { image: url(:/img/assets/bnt_arrow_up_Pressed.svg); }\n"
        "QComboBox QLineEdit { background: transparent; border: none; }\n"
        "QComboBox QAbstractItemView { background-color: #FFFFFF; border: 1px solid #A7A7A7; outline: 0px; }\n"
        "QComboBox QAbstractItemView::item { height: 24px; color: #555555; padding-left: 8px; }\n"
        "QComboBox QAbstractItemView::item:hover, QComboBox QAbstractItemView::item:selected "
        "{ background-color: #E1E9ED; color: #004B6A; }"));
}

void OVComboBoxBase::showPopup()
{
    Q_EMIT popupShown();
    QComboBox::showPopup();
    if (QWidget* frame = view()->window(); frame && frame != window())
        frame->move(frame->x(), frame->y() + 2);
}

void OVComboBoxBase::hidePopup()
{
    Q_EMIT popupHidden();
    QComboBox::hidePopup();
}

void OVComboBoxBase::wheelEvent(QWheelEvent* event)
{
    event->ignore();
}
