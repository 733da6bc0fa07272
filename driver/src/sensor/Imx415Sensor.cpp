#include "orvane/driver/Imx415Sensor.h"

#include "orvane/base/Logger.h"
#include "orvane/hal/EventStream.h"

namespace orvane {
namespace {

constexpr const char* kNoWriteCallback = "Imx415Sensor: no write register callback provided!";

}  // namespace

Imx415Sensor::Imx415Sensor() : width(3840), height(2160) {}

int Imx415Sensor::init(std::shared_ptr<Interface> interface)
{
    const uint32_t frameBytes = width * height * 3 / 2;
    eventStream = std::make_unique<EventStream>(
        createDataTransferUniquePtr(std::move(interface), 2, frameBytes, USB_ENDPOINT_FRAMES));
    inited = true;
    ORVANE_LOG_INFO("Imx415Sensor init success!");
    return 0;
}

int Imx415Sensor::start()
{
    if (!inited) {
        ORVANE_LOG_ERROR("Please initialize the Imx415Sensor first!");
        return -1;
    }
    if (!writeRegisterCallback) {
        ORVANE_LOG_ERROR("%s", kNoWriteCallback);
        return -1;
    }
    writeRegisterCallback("aps_ctrl", 1);
    eventStream->start();
    return 0;
}

int Imx415Sensor::stop()
{
    if (!inited) return 0;
    if (!writeRegisterCallback) {
        ORVANE_LOG_ERROR("%s", kNoWriteCallback);
        return 0;
    }
    // The frame stream is left running; the camera's APS thread has already ended.
    writeRegisterCallback("aps_ctrl", 0);
    return 0;
}

}  // namespace orvane
