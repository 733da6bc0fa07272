#include "OvCutRawFile.h"

OvCutRawFile::OvCutRawFile(QWidget* parent)
    : OvTimeRangeDialog(QStringLiteral("OvCutRawFile"), tr("Cut Recording"), tr("Cut"), QStringLiteral(".raw"),
                        parent)
{
}
