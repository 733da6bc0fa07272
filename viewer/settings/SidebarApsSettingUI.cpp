#include "SidebarApsSettingUI.h"

#include "SettingItemBox.h"
#include "ToolSection.h"

#include "orvane/hal/CameraTool.h"

#include <QDebug>
#include <QVBoxLayout>
#include <QLabel>

using orvane::CameraTool;

SidebarApsSettingUI::SidebarApsSettingUI(QWidget* parent) : SettingUI(parent)
{
    titleLabel()->setText(tr("APS Setting"));
}

SidebarApsSettingUI::~SidebarApsSettingUI() = default;

void SidebarApsSettingUI::setApsToolUI(std::shared_ptr<CameraTool> tool)
{
    removeSection(box_);
    box_ = nullptr;
    if (!tool) {
        qDebug().noquote() << "camera device is null .";
        tool_.reset();
        return;
    }
    tool_ = std::move(tool);
    ToolSectionShape shape;
    shape.title = tr("APS");
    shape.ints = shape.bools = true;
    ToolSectionHandlers handlers;
    handlers.onInt = [this](const std::string& n, int v) { onApsSliderValueChanged(n, v); };
    handlers.onBool = [this](const std::string& n, bool v) { onApsBoolValueChanged(n, v); };
    ToolSection built = buildToolSection(*tool_, shape, handlers, itemsLayout()->parentWidget());
    if (!built.box) {
        qDebug().noquote() << "camera aps infos is null .";
        return;
    }
    box_ = built.box;
    addSection(box_);
}

void SidebarApsSettingUI::setSourceState(PanelSourceState state)
{
    state_ = state;
    if (state == PanelSourceState::Camera)
        return;
    removeSection(box_);
    box_ = nullptr;
    tool_.reset();
}

void SidebarApsSettingUI::onApsBoolValueChanged(std::string name, bool value)
{
    if (tool_)
        tool_->setParam(name, value);
}

void SidebarApsSettingUI::onApsSliderValueChanged(std::string name, int value)
{
    if (tool_)
        tool_->setParam(name, value);
}
