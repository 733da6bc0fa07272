// An editable drop-down for the settings panels whose frame lights up while its list is open
// or its text is being edited. Its combo box proper is reached through comboBox().
#pragma once

#include <QWidget>

class OVComboBoxBase;

namespace Ui {
class OvComboBox;
}

class OvComboBox : public QWidget {
    Q_OBJECT
public:
    explicit OvComboBox(QWidget* parent = nullptr);
    ~OvComboBox() override;

    OVComboBoxBase* comboBox() const;
    QWidget* frame() const;

    // true: edits of the inner line edit are reported and highlight the frame; false: read-only.
    void setLineEditEnabled(bool enabled);

    void setHighlighted(bool highlighted);
    void setTextColour(const QString& colour);
    void setFrameColour(const QString& colour);

Q_SIGNALS:
    void signalLineEditTextChanged(const QString& arg1);
    void signalLineEditEditingFinished();

public Q_SLOTS:
    void on_cb_combox_in_widget_currentTextChanged(const QString& arg1);

private:
    Ui::OvComboBox* ui;
    QMetaObject::Connection textChangedConnection_;
    QMetaObject::Connection editingFinishedConnection_;
};
