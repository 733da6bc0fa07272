// One on/off parameter of a settings panel: its name and a switch. A click sends the new state
// with the parameter's name; setChecked() only shows a state. GUI thread only.
#pragma once

#include <QWidget>

#include <string>

class OvToolTip;
class QPushButton;

namespace Ui {
class SettingBaseWithSwitchButton;
}

class SettingBaseWithSwitchButton : public QWidget {
    Q_OBJECT
public:
    explicit SettingBaseWithSwitchButton(const std::string& name = {}, QWidget* parent = nullptr);
    ~SettingBaseWithSwitchButton() override;

    std::string name() const { return name_; }
    bool isChecked() const;
    void setChecked(bool checked);
    void setToolTipText(const QString& text);
    QPushButton* switchButton() const;

Q_SIGNALS:
    void signalItemValueChanged(std::string name, bool value);

public Q_SLOTS:
    void on_switchButton_clicked();

private:
    Ui::SettingBaseWithSwitchButton* ui;
    std::string name_;
    OvToolTip* toolTip_ = nullptr;
};
