#include "ToolSection.h"

#include "SettingBaseWithComboBox.h"
#include "SettingBaseWithLineEdit.h"
#include "SettingBaseWithSwitchButton.h"
#include "SettingItemBox.h"

#include "orvane/hal/CameraTool.h"

#include <algorithm>
#include <cmath>
#include <map>

using namespace orvane;

namespace {

QString tipText(const BasicParameterInfo& info)
{
    return QString::fromStdString(info.description);
}

SettingBaseWithLineEdit* numberEditor(SettingItemBox* box, const std::string& name, int min, int max, int start,
                                      const std::string& unit, const BasicParameterInfo& info)
{
    auto* editor = new SettingBaseWithLineEdit(name, box->itemParent());
    editor->setRange(min, max);
    editor->setValue(start);
    editor->setUnit(unit);
    editor->setToolTipText(tipText(info));
    return editor;
}

// A float's limits and value as the whole numbers the editor works in, clamped into int range so
// that a huge limit cannot overflow the conversion.
int wholeNumber(float value)
{
    if (!std::isfinite(value))
        return 0;
    const double truncated = std::trunc(static_cast<double>(value));
    return static_cast<int>(std::clamp(truncated, -2147483648.0, 2147483647.0));
}

}  // namespace

ToolSection buildToolSection(CameraTool& tool, const ToolSectionShape& shape, const ToolSectionHandlers& handlers,
                             QWidget* parent)
{
    ToolSection section;
    const std::map<std::string, BasicParameterInfo> params = tool.getAllParamInfo();
    if (params.empty())
        return section;

    auto* box = new SettingItemBox(parent);
    box->hide();
    box->setTitle(shape.title);
    int switchesOnTop = 0;

    // The widgets start from what the tool holds, not from the description's default: a camera
    // that was set before (and kept by the manager) must not show values it does not have.
    for (const auto& [name, basic] : params) {
        switch (basic.type) {
        case PARAMETER_INT: {
            IntParameterInfo info;
            if (!shape.ints || !tool.getParamInfo(name, info))
                break;
            int start = shape.intsStartAtZero ? 0 : info.value;
            tool.getParam(name, start);
            SettingBaseWithLineEdit* editor = numberEditor(box, name, info.min, info.max, start, info.unit, info);
            if (handlers.checkInt)
                editor->setCheckFunction([check = handlers.checkInt](std::string n, int v) { return check(n, v); });
            else if (handlers.onInt)
                QObject::connect(editor, &SettingBaseWithLineEdit::signalItemValueChanged, editor,
                                 [on = handlers.onInt](const std::string& n, int v) { on(n, v); });
            box->addItem(editor);
            section.numberEditors.push_back(editor);
            break;
        }
        case PARAMETER_FLOAT: {
            FloatParameterInfo info;
            if (!shape.floats || !tool.getParamInfo(name, info))
                break;
            float current = info.value;
            tool.getParam(name, current);
            SettingBaseWithLineEdit* editor =
                numberEditor(box, name, wholeNumber(info.min), wholeNumber(info.max), wholeNumber(current), info.unit, info);
            if (handlers.onFloat)
                QObject::connect(editor, &SettingBaseWithLineEdit::signalItemValueChanged, editor,
                                 [on = handlers.onFloat](const std::string& n, int v) { on(n, v); });
            box->addItem(editor);
            break;
        }
        case PARAMETER_BOOL: {
            BoolParameterInfo info;
            if (!shape.bools || !tool.getParamInfo(name, info))
                break;
            bool current = info.value;
            tool.getParam(name, current);
            auto* item = new SettingBaseWithSwitchButton(name, box->itemParent());
            item->setChecked(current);
            item->setToolTipText(tipText(info));
            if (handlers.onBool)
                QObject::connect(item, &SettingBaseWithSwitchButton::signalItemValueChanged, item,
                                 [on = handlers.onBool](const std::string& n, bool v) { on(n, v); });
            if (shape.switchesFirst)
                box->insertItem(item, switchesOnTop++);
            else
                box->addItem(item);
            break;
        }
        case PARAMETER_ENUM: {
            EnumParameterInfo info;
            if (!shape.enums || !tool.getParamInfo(name, info))
                break;
            std::string current = info.value;
            tool.getParam(name, current);
            auto* item = new SettingBaseWithComboBox(name, box->itemParent());
            for (const std::string& option : info.options)
                item->addItem(QString::fromStdString(option));
            item->setCurrentText(QString::fromStdString(current));
            item->setToolTipText(tipText(info));
            if (handlers.onEnum)
                QObject::connect(item, &SettingBaseWithComboBox::signalItemValueChanged, item,
                                 [on = handlers.onEnum](const std::string& n, const std::string& v) { on(n, v); });
            box->addItem(item);
            break;
        }
        }
    }
    box->setFolded(true);
    section.box = box;
    return section;
}
