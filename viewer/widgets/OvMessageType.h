// The kind of a toast. Passed by value in queued signals, hence the meta type.
#pragma once

#include <QMetaType>

#include <cstdint>

enum OvMessageType : int32_t {
    MessageSuccess = 0,
    MessageWarning = 1,
    MessageError = 2,
};
Q_DECLARE_METATYPE(OvMessageType)

// Registers the type for queued connections; called once at start.
void registerOvMessageType();
