// Turns a camera tool's parameter descriptions into a foldable section of setting items: one
// number editor per integer or float, one switch per boolean, one drop-down per enumeration,
// each showing the value the tool holds and reporting changes through the given handlers. The
// panels differ only in the kinds a section shows and where its switches go. GUI thread only.
#pragma once

#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace orvane {
class CameraTool;
}

class SettingBaseWithLineEdit;
class SettingItemBox;
class QWidget;

struct ToolSectionShape {
    QString title;
    bool ints = false;
    bool floats = false;  // shown as whole numbers
    bool bools = false;
    bool enums = false;
    bool switchesFirst = false;  // switches at the top of the box instead of in name order
    // The number a number editor starts from when the tool cannot report its value: 0, or the
    // default of the parameter's description.
    bool intsStartAtZero = false;
};

struct ToolSectionHandlers {
    std::function<void(const std::string&, int)> onInt;
    std::function<void(const std::string&, int)> onFloat;  // the whole number the user set
    std::function<void(const std::string&, bool)> onBool;
    std::function<void(const std::string&, const std::string&)> onEnum;
    // When set, number editors run this on each value instead of onInt; it decides their borders.
    std::function<bool(const std::string&, int)> checkInt;
};

struct ToolSection {
    SettingItemBox* box = nullptr;  // null when the tool describes no parameter
    std::vector<SettingBaseWithLineEdit*> numberEditors;  // integer editors, in box order
};

// Builds the section, folded, as a hidden child of `parent` (the widget it is shown in, so that it need not
// be moved there: moving a styled widget redoes its whole style). Parameters of kinds the section does not
// show, or whose description the tool does not give, are skipped.
ToolSection buildToolSection(orvane::CameraTool& tool, const ToolSectionShape& shape, const ToolSectionHandlers& handlers,
                             QWidget* parent = nullptr);
