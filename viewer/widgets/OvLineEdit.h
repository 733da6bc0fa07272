// A numeric line edit for the settings panels that pops a slider up under itself while it has
// the focus and keeps the two in step. Typing and leaving, or moving the slider, each report the
// new text once through textFinished(). GUI thread only.
#pragma once

#include <QWidget>

class OvLineEditBase;
class OvSlider;
class PopWidget;

class OvLineEdit : public QWidget {
    Q_OBJECT
public:
    explicit OvLineEdit(QWidget* parent = nullptr);

    OvLineEditBase* lineEdit() const { return lineEdit_; }
    OvSlider* slider() const { return slider_; }
    PopWidget* popup() const { return popup_; }  // nullptr until first focused

Q_SIGNALS:
    void textEdited(const QString& text);
    void textFinished(const QString& text);

public Q_SLOTS:
    void slotMouseHoverd(bool hovered);

private:
    void onEditingFinished();
    void onSliderValueChanged(int value);

    OvLineEditBase* lineEdit_;
    OvSlider* slider_;
    PopWidget* popup_ = nullptr;
    bool updating_ = false;  // set while one side updates the other
};
