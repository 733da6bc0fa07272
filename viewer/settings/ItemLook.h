// Small look helpers the setting items share.
#pragma once

#include <QString>

class QRegularExpression;

#include <string>

class OvComboBox;

namespace itemlook {

// A parameter name as its label shows it: may break after each underscore, so that long names
// wrap onto a second line instead of being cut off beside the controls.
QString breakableName(const std::string& name);

// Keeps a drop-down's resting text dark: the box's own rest colour reads as disabled in a panel
// where every other value is dark.
void keepTextReadable(OvComboBox* box);

// `sheet` with the first capture of `pattern` replaced by `rule`, or with `rule` appended when
// nothing matches: restyling over and over never piles rules up.
QString replaceFirstRule(const QString& sheet, const QRegularExpression& pattern, const QString& rule);

}  // namespace itemlook
