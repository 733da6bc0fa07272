#include "SidebarDvsSettingUI.h"

#include "SettingBaseWithLineEdit.h"
#include "SettingDisplayItem.h"
#include "SettingItemBox.h"
#include "ToolSection.h"

#include "orvane/hal/CameraTool.h"

#include <QDebug>
#include <QVBoxLayout>
#include <QLabel>

#include <utility>

using orvane::CameraTool;

namespace {

// A refused value leaves the sensor as it was; only the ROI section shows refusals.
template <class T>
void writeTo(const std::shared_ptr<CameraTool>& tool, const std::string& name, const T& value)
{
    if (tool)
        tool->setParam(name, value);
}

}  // namespace

SidebarDvsSettingUI::SidebarDvsSettingUI(QWidget* parent) : SettingUI(parent)
{
    displayItem_ = addDisplaySection(&displayBox_);
    connect(displayItem_, &SettingDisplayItem::signalCumulativeTimeChanged, this, &SidebarDvsSettingUI::slotCumulativeTimeChanged);
    connect(displayItem_, &SettingDisplayItem::signalFpsChanged, this, &SidebarDvsSettingUI::slotFpsChanged);
}

SidebarDvsSettingUI::~SidebarDvsSettingUI() = default;

void SidebarDvsSettingUI::slotCumulativeTimeChanged(uint64_t time_us)
{
    Q_EMIT signalCumulativeTimeChanged(time_us);
}

void SidebarDvsSettingUI::slotFpsChanged(uint32_t fps)
{
    Q_EMIT signalFpsChanged(fps);
}

void SidebarDvsSettingUI::removeToolSection(Section section)
{
    SectionState& s = sections_[section];
    if (section == ROI)
        roiEditors_.clear();
    removeSection(s.box);
    s.box = nullptr;
}

void SidebarDvsSettingUI::rebuild(Section section, std::shared_ptr<CameraTool> tool, const ToolSectionShape& shape,
                                  const ToolSectionHandlers& handlers, const char* nullToolLine, const char* emptyLine)
{
    removeToolSection(section);
    SectionState& s = sections_[section];
    if (!tool) {
        qDebug().noquote() << nullToolLine;
        // Without its section the old tool has no use; holding it would keep a closed camera's
        // register controller alive.
        s.tool.reset();
        return;
    }
    s.tool = std::move(tool);
    ToolSection built = buildToolSection(*s.tool, shape, handlers, itemsLayout()->parentWidget());
    if (!built.box) {
        qDebug().noquote() << emptyLine;
        return;
    }
    s.box = built.box;
    if (section == ROI)
        roiEditors_ = std::move(built.numberEditors);
    // Sections keep their order whichever tool is handed over first or again.
    int index = displayBox_ ? 1 : 0;
    for (int other = 0; other < section; ++other)
        index += sections_[other].box ? 1 : 0;
    insertSection(s.box, index);
}

void SidebarDvsSettingUI::setBiasesToolUI(std::shared_ptr<CameraTool> tool)
{
    ToolSectionShape shape;
    shape.title = tr("Biases");
    shape.ints = true;
    shape.intsStartAtZero = true;
    ToolSectionHandlers handlers;
    handlers.onInt = [this](const std::string& n, int v) { onBiasSliderValueChanged(n, v); };
    rebuild(Biases, std::move(tool), shape, handlers, "Camera tool is null .", "camera biases is null .");
}

void SidebarDvsSettingUI::setTriggerInToolUI(std::shared_ptr<CameraTool> tool)
{
    ToolSectionShape shape;
    shape.title = tr("Trigger In");
    shape.bools = true;
    ToolSectionHandlers handlers;
    handlers.onBool = [this](const std::string& n, bool v) { onTriggerInSliderValueChanged(n, v); };
    rebuild(TriggerIn, std::move(tool), shape, handlers, "camera device is null .", "camera trigger is null .");
}

void SidebarDvsSettingUI::setAntiFlickerToolUI(std::shared_ptr<CameraTool> tool)
{
    ToolSectionShape shape;
    shape.title = tr("Anti Flicker");
    shape.ints = shape.floats = shape.bools = shape.enums = true;
    shape.switchesFirst = true;
    ToolSectionHandlers handlers;
    handlers.onInt = [this](const std::string& n, int v) { onAntiFlickerSliderValueChanged(n, v); };
    handlers.onFloat = [this](const std::string& n, int v) { onAntiFlickerSliderFloatValueChanged(n, v); };
    handlers.onBool = [this](const std::string& n, bool v) { onAntiFlickerSliderValueChanged(n, v); };
    handlers.onEnum = [this](const std::string& n, const std::string& v) { onAntiFlickerSliderEnumValueChanged(n, v); };
    rebuild(AntiFlicker, std::move(tool), shape, handlers, "camera device is null .",
            "camera anti flicker has no parameters .");
}

void SidebarDvsSettingUI::setEventRateControlToolUI(std::shared_ptr<CameraTool> tool)
{
    ToolSectionShape shape;
    shape.title = tr("Event Rate Control");
    shape.ints = shape.bools = true;
    ToolSectionHandlers handlers;
    handlers.onInt = [this](const std::string& n, int v) { onEventRateControlSliderValueChanged(n, v); };
    handlers.onBool = [this](const std::string& n, bool v) { onEventRateControlSliderValueChanged(n, v); };
    rebuild(EventRateControl, std::move(tool), shape, handlers, "camera device is null .",
            "camera event rate control has no parameters .");
}

void SidebarDvsSettingUI::setEventTrailFilterToolUI(std::shared_ptr<CameraTool> tool)
{
    ToolSectionShape shape;
    shape.title = tr("Event Trail Filter");
    shape.ints = shape.bools = shape.enums = true;
    ToolSectionHandlers handlers;
    handlers.onInt = [this](const std::string& n, int v) { onEventTrailFilterSliderValueChanged(n, v); };
    handlers.onBool = [this](const std::string& n, bool v) { onEventTrailFilterSliderValueChanged(n, v); };
    handlers.onEnum = [this](const std::string& n, const std::string& v) { onEventTrailFilterSliderValueChanged(n, v); };
    rebuild(EventTrailFilter, std::move(tool), shape, handlers, "camera device is null .",
            "camera event trail filter has no parameters .");
}

void SidebarDvsSettingUI::setROIToolUI(std::shared_ptr<CameraTool> tool)
{
    ToolSectionShape shape;
    shape.title = tr("ROI");
    shape.ints = shape.bools = true;
    ToolSectionHandlers handlers;
    handlers.checkInt = [this](const std::string& n, int v) { return checkRoiValue(n, v); };
    handlers.onBool = [this](const std::string& n, bool v) { onROISliderValueChanged(n, v); };
    rebuild(ROI, std::move(tool), shape, handlers, "camera device is null .", "camera roi is null .");
}

// The panel's numbers are the window the user asks for. The tool checks each value against its
// own present window, so x past the end of a full-width window is refused until the width shrinks:
// such a value is written as soon as the panel's window fits, in whichever order the tool takes,
// so that the sensor's window always equals the panel's, whatever the order of the edits.
bool SidebarDvsSettingUI::checkRoiValue(const std::string& name, int value)
{
    const std::shared_ptr<CameraTool>& tool = sections_[ROI].tool;
    if (!tool) {
        for (SettingBaseWithLineEdit* editor : roiEditors_)
            editor->setValid(false);
        return false;
    }
    auto wanted = [&](const std::string& n) {
        if (n == name)
            return value;
        for (SettingBaseWithLineEdit* editor : roiEditors_)
            if (editor->name() == n)
                return editor->value();
        int held = 0;
        tool->getParam(n, held);
        return held;
    };
    bool fits = true, written = true, onAxis = false;
    for (const auto& [pos, size] : {std::pair<std::string, std::string>{"x", "x_width"}, {"y", "y_height"}}) {
        orvane::IntParameterInfo info;
        const int p = wanted(pos), n = wanted(size);
        const bool axisFits = tool->getParamInfo(size, info) && p + n <= info.max;
        fits &= axisFits;
        if (name != pos && name != size)
            continue;
        onAxis = true;
        if (!axisFits)
            continue;
        // Once the window fits, one of the two orders always passes the tool's check.
        if (!(tool->setParam(pos, p) && tool->setParam(size, n)))
            written &= tool->setParam(size, n) && tool->setParam(pos, p);
    }
    if (!onAxis)
        written = tool->setParam(name, value);
    const bool accepted = fits && written;
    for (SettingBaseWithLineEdit* editor : roiEditors_)
        editor->setValid(accepted);
    return accepted;
}

void SidebarDvsSettingUI::setSourceState(PanelSourceState state)
{
    state_ = state;
    if (state == PanelSourceState::Camera)
        return;
    for (int section = 0; section < SectionCount; ++section) {
        removeToolSection(static_cast<Section>(section));
        sections_[section].tool.reset();
    }
}

// The writers: each sends one kind of value to its section's tool.

void SidebarDvsSettingUI::onBiasSliderValueChanged(std::string name, int value)
{
    writeTo(sections_[Biases].tool, name, value);
}

void SidebarDvsSettingUI::onTriggerInSliderValueChanged(std::string name, bool value)
{
    writeTo(sections_[TriggerIn].tool, name, value);
}

void SidebarDvsSettingUI::onAntiFlickerSliderValueChanged(std::string name, int value)
{
    writeTo(sections_[AntiFlicker].tool, name, value);
}

void SidebarDvsSettingUI::onAntiFlickerSliderValueChanged(std::string name, bool value)
{
    writeTo(sections_[AntiFlicker].tool, name, value);
}

void SidebarDvsSettingUI::onAntiFlickerSliderFloatValueChanged(std::string name, int value)
{
    writeTo(sections_[AntiFlicker].tool, name, static_cast<float>(value));
}

void SidebarDvsSettingUI::onAntiFlickerSliderEnumValueChanged(std::string name, std::string value)
{
    writeTo(sections_[AntiFlicker].tool, name, value);
}

void SidebarDvsSettingUI::onEventRateControlSliderValueChanged(std::string name, int value)
{
    writeTo(sections_[EventRateControl].tool, name, value);
}

void SidebarDvsSettingUI::onEventRateControlSliderValueChanged(std::string name, bool value)
{
    writeTo(sections_[EventRateControl].tool, name, value);
}

void SidebarDvsSettingUI::onEventTrailFilterSliderValueChanged(std::string name, int value)
{
    writeTo(sections_[EventTrailFilter].tool, name, value);
}

void SidebarDvsSettingUI::onEventTrailFilterSliderValueChanged(std::string name, bool value)
{
    writeTo(sections_[EventTrailFilter].tool, name, value);
}

void SidebarDvsSettingUI::onEventTrailFilterSliderValueChanged(std::string name, std::string value)
{
    writeTo(sections_[EventTrailFilter].tool, name, value);
}

void SidebarDvsSettingUI::onROISliderValueChanged(std::string name, bool value)
{
    writeTo(sections_[ROI].tool, name, value);
}
