// Small edits of a widget's style sheet that keep the rest of it: the widgets change one
// declaration (text colour, border) to show focus or an open popup.
#pragma once

#include <QString>

namespace stylesheet {

// Replaces the first "color: ...;" declaration (not background-color and the like) by
// "color: <colour>;", or appends one.
QString replaceColour(const QString& sheet, const QString& colour);

// Replaces the first "border: ...;" declaration (not border-radius and the like) by
// "border: <value>;", or appends one.
QString replaceBorder(const QString& sheet, const QString& value);

}  // namespace stylesheet
