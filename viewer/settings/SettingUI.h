// The form every side panel is built on: a title over a scrolling column of setting sections
// that always ends in a stretch, so the sections stay packed at the top. GUI thread only.
#pragma once

#include <QWidget>

class QLabel;
class SettingDisplayItem;
class SettingItemBox;
class QScrollArea;
class QVBoxLayout;

namespace Ui {
class SettingUI;
}

class SettingUI : public QWidget {
    Q_OBJECT
public:
    explicit SettingUI(QWidget* parent = nullptr);
    ~SettingUI() override;

    QLabel* titleLabel() const;
    QScrollArea* scrollArea() const;
    // The column the sections sit in; its last item is a stretch.
    QVBoxLayout* itemsLayout() const;

    // Puts a section just before the closing stretch.
    void addSection(QWidget* section);
    // Adds the display section (accumulation time and slow rate), unfolded; returns its item and
    // puts its box in `box`.
    SettingDisplayItem* addDisplaySection(SettingItemBox** box);
    // Puts a section at `index` among the sections (clamped to before the closing stretch).
    void insertSection(QWidget* section, int index);
    // Takes a section out of the column and deletes it; null is ignored.
    void removeSection(QWidget* section);

private:
    void ensureClosingStretch();

    Ui::SettingUI* ui;
};
