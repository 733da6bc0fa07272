// The side panel of an event camera (and of the fusion camera's event side): the display
// settings, then one section per camera tool, generated from the tool's parameter descriptions.
// Every change a user makes goes straight to the tool. The main window hands the tools over
// after opening a camera; each hand-over rebuilds that section. GUI thread only.
#pragma once

#include "PanelSourceState.h"
#include "SettingUI.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orvane {
class CameraTool;
}

class SettingBaseWithLineEdit;
class SettingDisplayItem;
class SettingItemBox;
struct ToolSectionShape;
struct ToolSectionHandlers;

class SidebarDvsSettingUI : public SettingUI {
    Q_OBJECT
public:
    // The tool sections, in the order they appear.
    enum Section { Biases, TriggerIn, AntiFlicker, EventRateControl, EventTrailFilter, ROI, SectionCount };

    explicit SidebarDvsSettingUI(QWidget* parent = nullptr);
    ~SidebarDvsSettingUI() override;

    void setBiasesToolUI(std::shared_ptr<orvane::CameraTool> tool);
    void setTriggerInToolUI(std::shared_ptr<orvane::CameraTool> tool);
    void setAntiFlickerToolUI(std::shared_ptr<orvane::CameraTool> tool);
    void setEventRateControlToolUI(std::shared_ptr<orvane::CameraTool> tool);
    void setEventTrailFilterToolUI(std::shared_ptr<orvane::CameraTool> tool);
    void setROIToolUI(std::shared_ptr<orvane::CameraTool> tool);

    // No camera or a recording: the tool sections go and their tools are let go (a closed
    // camera is not kept alive by its panel); the display settings stay in every state.
    void setSourceState(PanelSourceState state);
    PanelSourceState sourceState() const { return state_; }

    SettingDisplayItem* displayItem() const { return displayItem_; }
    SettingItemBox* displayBox() const { return displayBox_; }
    SettingItemBox* sectionBox(Section section) const { return sections_[section].box; }
    const std::vector<SettingBaseWithLineEdit*>& roiEditors() const { return roiEditors_; }

Q_SIGNALS:
    void signalCumulativeTimeChanged(uint64_t time_us);
    void signalFpsChanged(uint32_t fps);

public Q_SLOTS:
    void slotCumulativeTimeChanged(uint64_t time_us);
    void slotFpsChanged(uint32_t fps);

    void onBiasSliderValueChanged(std::string name, int value);
    void onTriggerInSliderValueChanged(std::string name, bool value);
    void onAntiFlickerSliderValueChanged(std::string name, int value);
    void onAntiFlickerSliderValueChanged(std::string name, bool value);
    void onAntiFlickerSliderFloatValueChanged(std::string name, int value);
    void onAntiFlickerSliderEnumValueChanged(std::string name, std::string value);
    void onEventRateControlSliderValueChanged(std::string name, int value);
    void onEventRateControlSliderValueChanged(std::string name, bool value);
    void onEventTrailFilterSliderValueChanged(std::string name, int value);
    void onEventTrailFilterSliderValueChanged(std::string name, bool value);
    void onEventTrailFilterSliderValueChanged(std::string name, std::string value);
    void onROISliderValueChanged(std::string name, bool value);

private:
    struct SectionState {
        std::shared_ptr<orvane::CameraTool> tool;
        SettingItemBox* box = nullptr;
    };

    void rebuild(Section section, std::shared_ptr<orvane::CameraTool> tool, const ToolSectionShape& shape,
                 const ToolSectionHandlers& handlers, const char* nullToolLine, const char* emptyLine);
    void removeToolSection(Section section);
    // The ROI editors' check: writes the value and marks every ROI editor by the tool's verdict.
    bool checkRoiValue(const std::string& name, int value);

    SettingItemBox* displayBox_ = nullptr;
    SettingDisplayItem* displayItem_ = nullptr;
    std::array<SectionState, SectionCount> sections_;
    std::vector<SettingBaseWithLineEdit*> roiEditors_;
    PanelSourceState state_ = PanelSourceState::NoCamera;
};
