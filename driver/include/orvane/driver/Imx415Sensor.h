// The IMX415 frame sensor of the fusion camera: owns the stream of NV12 frames (endpoint 0x53)
// and switches the sensor's output with one register ("aps_ctrl"). Of the register callbacks it
// uses only the whole-register write.
#pragma once

#include "orvane/driver/Sensor.h"

namespace orvane {

class Imx415Sensor : public Sensor {
public:
    Imx415Sensor();

    int init(std::shared_ptr<Interface> interface) override;
    int start() override;
    int stop() override;

    const uint32_t width;
    const uint32_t height;
};

}  // namespace orvane
