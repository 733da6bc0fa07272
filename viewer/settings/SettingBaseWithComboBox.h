// One enumeration parameter of a settings panel: its name and a drop-down of its options. A new
// choice goes out with the parameter's name. GUI thread only.
#pragma once

#include <QWidget>

#include <string>

class OvToolTip;
class QComboBox;

namespace Ui {
class SettingBaseWithComboBox;
}

class SettingBaseWithComboBox : public QWidget {
    Q_OBJECT
public:
    explicit SettingBaseWithComboBox(const std::string& name = {}, QWidget* parent = nullptr);
    ~SettingBaseWithComboBox() override;

    std::string name() const { return name_; }
    void addItem(const QString& item);
    // Shows an option without sending it (the value the tool already holds).
    void setCurrentText(const QString& item);
    QString currentText() const;
    void setToolTipText(const QString& text);
    QComboBox* comboBox() const;

Q_SIGNALS:
    void signalItemValueChanged(std::string name, std::string item);

public Q_SLOTS:
    void cbCurrentTextChanged(const QString& text);

private:
    Ui::SettingBaseWithComboBox* ui;
    std::string name_;
    OvToolTip* toolTip_ = nullptr;
};
