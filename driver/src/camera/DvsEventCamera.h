// A single-sensor USB event camera with an IMX636 / IMX646: init brings up the interface, the
// register controller, the decoder, the sensor and the seven tools; the models add only identity.
#pragma once

#include <cstdint>

#include "orvane/driver/DvsCameraPrivate.h"

namespace orvane {

class DvsEventCamera : public DvsCameraPrivate {
public:
    explicit DvsEventCamera(CameraDescription description);
    ~DvsEventCamera() override;

    bool isConnected() const override;
    uint16_t getWidth() override { return 1280; }
    uint16_t getHeight() override { return 720; }

    // Reads the sensor's identity registers; not part of init.
    bool checkSensor();

private:
    int init() override;
    RawEventStreamFormat getRawEventStreamFormat() override;
    // The seven IMX636 tools, from the camera's register controller.
    void createTools();
};

class PropheseeEVK4 : public DvsEventCamera {
public:
    using DvsEventCamera::DvsEventCamera;
    static constexpr uint16_t vendorId = 0x04B4;
    static constexpr uint16_t productId = 0x00F5;
    static constexpr INTERFACE_TYPE interfaceType = INTERFACE_USB;
    static const char* getManufacturer() { return "Prophesee"; }
    static const char* getProductName() { return "EVK4"; }
};

class OrvaneKestrel : public DvsEventCamera {
public:
    using DvsEventCamera::DvsEventCamera;
    static constexpr uint16_t vendorId = 0x04B5;
    static constexpr uint16_t productId = 0x0001;
    static constexpr INTERFACE_TYPE interfaceType = INTERFACE_USB;
    static const char* getManufacturer() { return "Orvane"; }
    static const char* getProductName() { return "Kestrel"; }
};

}  // namespace orvane
