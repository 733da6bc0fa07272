// The line edit proper of OvLineEdit: styled, centred, and reporting focus changes so that its
// owner can pop its slider up and down.
#pragma once

#include <QLineEdit>

class OvLineEditBase : public QLineEdit {
    Q_OBJECT
public:
    explicit OvLineEditBase(QWidget* parent = nullptr);

    void setBorderColour(const QString& colour);

Q_SIGNALS:
    void signalMouseHoverd(bool hovered);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};
