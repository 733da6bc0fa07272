// The side panel for sources without sensor settings of their own: only the display settings
// (accumulation time and slow rate), which apply to live cameras and recordings alike.
// GUI thread only.
#pragma once

#include "PanelSourceState.h"
#include "SettingUI.h"

#include <cstdint>

class SettingDisplayItem;
class SettingItemBox;

class SidebarCameraSettingUI : public SettingUI {
    Q_OBJECT
public:
    explicit SidebarCameraSettingUI(QWidget* parent = nullptr);
    ~SidebarCameraSettingUI() override;

    // The display settings apply to every source, so every state keeps them.
    void setSourceState(PanelSourceState state) { state_ = state; }
    PanelSourceState sourceState() const { return state_; }

    SettingDisplayItem* displayItem() const { return displayItem_; }
    SettingItemBox* displayBox() const { return displayBox_; }

Q_SIGNALS:
    void signalCumulativeTimeChanged(uint64_t time_us);
    void signalFpsChanged(uint32_t fps);

public Q_SLOTS:
    void slotCumulativeTimeChanged(uint64_t time_us);
    void slotFpsChanged(uint32_t fps);

private:
    SettingItemBox* displayBox_ = nullptr;
    SettingDisplayItem* displayItem_ = nullptr;
    PanelSourceState state_ = PanelSourceState::NoCamera;
};
