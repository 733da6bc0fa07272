#include "SettingUI.h"

#include "SettingDisplayItem.h"
#include "SettingItemBox.h"
#include "ui_SettingUI.h"

#include <QVBoxLayout>

#include <algorithm>

SettingUI::SettingUI(QWidget* parent) : QWidget(parent), ui(new Ui::SettingUI)
{
    ui->setupUi(this);
    // A QWidget subclass paints its style sheet background only when asked to.
    setAttribute(Qt::WA_StyledBackground, true);
}

SettingUI::~SettingUI()
{
    delete ui;
}

QLabel* SettingUI::titleLabel() const
{
    return ui->lb_setting_ui;
}

QScrollArea* SettingUI::scrollArea() const
{
    return ui->scroll_area_setting;
}

QVBoxLayout* SettingUI::itemsLayout() const
{
    return ui->layout_setting_items;
}

void SettingUI::ensureClosingStretch()
{
    QVBoxLayout* layout = ui->layout_setting_items;
    const int count = layout->count();
    if (count == 0 || !layout->itemAt(count - 1)->spacerItem())
        layout->addStretch(1);
}

void SettingUI::addSection(QWidget* section)
{
    ensureClosingStretch();
    QVBoxLayout* layout = ui->layout_setting_items;
    layout->insertWidget(layout->count() - 1, section);
    section->show();
    ui->scrollAreaWidgetContents->update();
}

void SettingUI::insertSection(QWidget* section, int index)
{
    ensureClosingStretch();
    QVBoxLayout* layout = ui->layout_setting_items;
    layout->insertWidget(std::clamp(index, 0, layout->count() - 1), section);
    section->show();
    ui->scrollAreaWidgetContents->update();
}

SettingDisplayItem* SettingUI::addDisplaySection(SettingItemBox** box)
{
    auto* section = new SettingItemBox;
    section->setTitle(tr("Display"));
    auto* item = new SettingDisplayItem;
    section->addItem(item);
    section->setFolded(false);
    addSection(section);
    if (box)
        *box = section;
    return item;
}

void SettingUI::removeSection(QWidget* section)
{
    if (!section)
        return;
    ui->layout_setting_items->removeWidget(section);
    delete section;
}
