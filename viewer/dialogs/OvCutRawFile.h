// Asks for a time range of the open recording and the raw file to cut it into.
#pragma once

#include "OvTimeRangeDialog.h"

class OvCutRawFile : public OvTimeRangeDialog {
    Q_OBJECT
public:
    explicit OvCutRawFile(QWidget* parent = nullptr);
};
