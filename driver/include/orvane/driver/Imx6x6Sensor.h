// The IMX636 / IMX646 event sensor: power-up, configuration, start and stop as register
// sequences (constant tables), and the few field writes between them.
#pragma once

#include "orvane/driver/Sensor.h"

namespace orvane {

class RegisterController;

class Imx6x6Sensor : public Sensor {
public:
    // Sets the sequence and field callbacks to the controller's operations (it is kept alive).
    void bindTo(std::shared_ptr<RegisterController> controller);

    int init(std::shared_ptr<Interface> interface) override;
    int start() override;
    int stop() override;

    // Exposed for tests of the bring-up steps; init calls them in this order.
    void temperatureInit();
    void controlIphMirror(bool enable);
    void controlLifo(bool lifoEnable, bool outputEnable, bool counterEnable);
    void timeBaseConfig(bool external, bool master);

private:
    bool writeField(const std::string& registerName, const std::string& fieldName, uint32_t value);
};

}  // namespace orvane
