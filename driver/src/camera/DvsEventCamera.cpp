#include "DvsEventCamera.h"

#include "orvane/base/Logger.h"
#include "orvane/driver/Imx6x6Sensor.h"
#include "orvane/hal/RegisterTables.h"
#include "orvane/hal/RegisterController.h"
#include "orvane/hal/UsbInterface.h"

namespace orvane {

DvsEventCamera::DvsEventCamera(CameraDescription description) : DvsCameraPrivate(std::move(description)) {}

DvsEventCamera::~DvsEventCamera()
{
    // The camera thread calls into this object's sensor and decoder: end it (and a recording)
    // while the whole object still exists.
    if (inited) stopRecording();
    stop();
}

bool DvsEventCamera::isConnected() const
{
    return interface && interface->connected();
}

RawEventStreamFormat DvsEventCamera::getRawEventStreamFormat()
{
    return RawEventStreamFormat("EVT3;height=720;width=1280");
}

bool DvsEventCamera::checkSensor()
{
    if (!interface) return false;
    return interface->readRegister(0x0014) == 0xA0401806u && (interface->readRegister(0xF128) & 0x3u) == 0;
}

int DvsEventCamera::init()
{
    if (inited) return 0;
    if (desc.interfaceType == INTERFACE_USB) {
        auto created = UsbInterface::createUsbInterface(desc);
        if (!created) return -1;
        interface = std::move(created);
    }
    if (!interface) return -1;
    interface->bindCameraSlot(&interfaceSlot);

    registerController =
        std::make_shared<RegisterController>(interface, imx636RegisterInfo, imx636RegisterInfoCount, "PSEE/IMX636/");

    decoder = DecoderFactory::createUniqueDecoder(getRawEventStreamFormat());
    decoder->setEventsStreamHandleCallback(
        [this](const Event2D* begin, const Event2D* end) { eventStreamArrvied(begin, end); });
    decoder->setTriggerInCallback([this](EventTriggerIn event) { triggerInArrvied(event); });

    auto imx = std::make_unique<Imx6x6Sensor>();
    imx->bindTo(registerController);
    sensor = std::move(imx);
    sensor->init(interface);  // a failed bring-up is logged by the sensor and still leaves us inited

    createTools();

    inited = true;
    return 0;
}

}  // namespace orvane
