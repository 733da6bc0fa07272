// Asks for a time range of the open recording and the mp4 video to export it as.
#pragma once

#include "OvTimeRangeDialog.h"

class OvExportVideoUI : public OvTimeRangeDialog {
    Q_OBJECT
public:
    explicit OvExportVideoUI(QWidget* parent = nullptr);
};
