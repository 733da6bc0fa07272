// The side panel of the fusion camera's frame sensor: one section built from its APS control
// tool. Every change goes straight to the tool. GUI thread only.
#pragma once

#include "PanelSourceState.h"
#include "SettingUI.h"

#include <memory>
#include <string>

namespace orvane {
class CameraTool;
}

class SettingItemBox;

class SidebarApsSettingUI : public SettingUI {
    Q_OBJECT
public:
    explicit SidebarApsSettingUI(QWidget* parent = nullptr);
    ~SidebarApsSettingUI() override;

    void setApsToolUI(std::shared_ptr<orvane::CameraTool> tool);

    // Only a live camera has a frame sensor to set: in the other states the section goes and
    // the tool is let go.
    void setSourceState(PanelSourceState state);
    PanelSourceState sourceState() const { return state_; }

    SettingItemBox* apsBox() const { return box_; }

public Q_SLOTS:
    void onApsBoolValueChanged(std::string name, bool value);
    void onApsSliderValueChanged(std::string name, int value);

private:
    std::shared_ptr<orvane::CameraTool> tool_;
    SettingItemBox* box_ = nullptr;
    PanelSourceState state_ = PanelSourceState::NoCamera;
};
