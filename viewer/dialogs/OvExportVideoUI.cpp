#include "OvExportVideoUI.h"

OvExportVideoUI::OvExportVideoUI(QWidget* parent)
    : OvTimeRangeDialog(QStringLiteral("OvExportVideoUI"), tr("Export a video"), tr("Export"),
                        QStringLiteral(".mp4"), parent)
{
}
