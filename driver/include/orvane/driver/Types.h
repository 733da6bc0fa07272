// The value types that cross the driver's boundary. Event2D and EventTriggerIn come from the
// base library's shared header, the camera and tool descriptions from the HAL.
#pragma once

#include <cstdint>

#include "orvane/hal/HalTypes.h"
#include "orvane/types/Event2D.h"

namespace orvane {

enum CAMERA_TYPE : int32_t {
    CAMERA_EVK4 = 0,
    CAMERA_KESTREL = 1,
    CAMERA_TANDEM = 2,
};

enum STREAM_TYPE : int32_t {
    STREAM_DVS = 0,
    STREAM_APS = 1,
    STREAM_BOTH = 2,
};

// One APS image: rows of BGR pixels without gaps. `data` belongs to whoever filled the frame and
// is reused for its next one.
struct ApsFrame {
    uint8_t* data = nullptr;
    uint32_t size = 0;
    uint64_t fallTimestamp = 0;
    uint64_t timestamp = 0;
};

}  // namespace orvane
