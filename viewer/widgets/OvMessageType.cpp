#include "OvMessageType.h"

void registerOvMessageType()
{
    qRegisterMetaType<OvMessageType>("OvMessageType");
}
