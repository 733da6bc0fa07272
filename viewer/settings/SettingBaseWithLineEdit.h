// One integer parameter of a settings panel: its name, a number editor with minus and plus
// buttons, and its unit. Every accepted value goes out with the parameter's name; a check
// function, when set, is called with each value too and decides the editor's border itself.
// The slider row stays hidden: its slider holds the value and clamps it to the range. The range
// is shown under the editor, and a typed number that had to be clamped is said there.
// GUI thread only.
#pragma once

#include <QWidget>

#include <functional>
#include <string>

class OvToolTip;
class QLabel;

namespace Ui {
class SettingBaseWithLineEdit;
}

class SettingBaseWithLineEdit : public QWidget {
    Q_OBJECT
public:
    using CheckFunction = std::function<bool(std::string name, int value)>;

    explicit SettingBaseWithLineEdit(const std::string& name = {}, QWidget* parent = nullptr);
    ~SettingBaseWithLineEdit() override;

    std::string name() const { return name_; }
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    // The value the slider holds (already clamped to the range).
    int value() const;
    QString text() const;

    void setRange(int min, int max);
    // A value outside the range is ignored.
    void setValue(int value);
    // Empty or a single blank: no unit shown.
    void setUnit(const std::string& unit);
    void setToolTipText(const QString& text);
    void setCheckFunction(CheckFunction check);
    // Grey border when valid, red when not.
    void setValid(bool valid);
    bool isValid() const { return valid_; }

Q_SIGNALS:
    void signalItemValueChanged(std::string name, int value);

public Q_SLOTS:
    void on_horizontalSlider_valueChanged(int value);
    void on_le_ov_line_edit_textChanged(const QString& text);
    void on_pb_add_item_value_clicked();
    void on_pb_sub_item_value_clicked();

private:
    void onEditingFinished();
    void step(int delta);
    void setBorder(const QString& colour);
    void showRange(const QString& note = QString());
    void showClamped(int typed);

    Ui::SettingBaseWithLineEdit* ui;
    std::string name_;
    int min_ = 0;
    int max_ = 0;
    bool valid_ = true;
    CheckFunction check_;
    OvToolTip* toolTip_ = nullptr;
    QLabel* range_;  // lb_range
};
