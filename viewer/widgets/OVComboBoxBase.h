// The combo box proper of OvComboBox: editable, with a flat list popup, and deaf to the mouse
// wheel so that scrolling a settings panel never changes a selection.
#pragma once

#include <QComboBox>
#include <QStyledItemDelegate>

// Paints list items without the dotted focus frame.
class NoFocusFrameDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class OVComboBoxBase : public QComboBox {
    Q_OBJECT
public:
    explicit OVComboBoxBase(QWidget* parent = nullptr);

    void showPopup() override;
    void hidePopup() override;

Q_SIGNALS:
    void popupShown();
    void popupHidden();

protected:
    void wheelEvent(QWheelEvent* event) override;
};
