// A foldable section of a settings panel: a title bar with a fold button over a container of
// setting items. Folded, only the title bar shows. GUI thread only.
#pragma once

#include <QWidget>

namespace Ui {
class SettingItemBox;
}

class SettingItemBox : public QWidget {
    Q_OBJECT
public:
    explicit SettingItemBox(QWidget* parent = nullptr);
    ~SettingItemBox() override;

    QString title() const;
    void setTitle(const QString& title);
    void addItem(QWidget* item);
    void insertItem(QWidget* item, int index);
    int itemCount() const;
    QWidget* itemAt(int index) const;

    void setFolded(bool folded);
    bool isFolded() const;
    QWidget* titleBar() const;
    // Items made with this parent join the box without being moved into it: reparenting a
    // styled widget redoes its whole style, which made filling a box slow.
    QWidget* itemParent() const;

public Q_SLOTS:
    void on_pb_fold_clicked(bool checked);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh(QWidget* item);

    Ui::SettingItemBox* ui;
};
