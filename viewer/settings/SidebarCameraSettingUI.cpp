#include "SidebarCameraSettingUI.h"

#include "SettingDisplayItem.h"

#include <QLabel>

SidebarCameraSettingUI::SidebarCameraSettingUI(QWidget* parent) : SettingUI(parent)
{
    titleLabel()->setText(tr("Camera Setting"));
    displayItem_ = addDisplaySection(&displayBox_);
    connect(displayItem_, &SettingDisplayItem::signalCumulativeTimeChanged, this,
            &SidebarCameraSettingUI::slotCumulativeTimeChanged);
    connect(displayItem_, &SettingDisplayItem::signalFpsChanged, this, &SidebarCameraSettingUI::slotFpsChanged);
}

SidebarCameraSettingUI::~SidebarCameraSettingUI() = default;

void SidebarCameraSettingUI::slotCumulativeTimeChanged(uint64_t time_us)
{
    Q_EMIT signalCumulativeTimeChanged(time_us);
}

void SidebarCameraSettingUI::slotFpsChanged(uint32_t fps)
{
    Q_EMIT signalFpsChanged(fps);
}
