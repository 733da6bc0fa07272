#include "orvane/driver/Imx6x6Sensor.h"

#include <chrono>
#include <thread>

#include "Imx6x6Sequences.h"
#include "orvane/base/Logger.h"
#include "orvane/hal/EventStream.h"
#include "orvane/hal/RegisterController.h"

namespace orvane {
namespace {

// Sleeps until now + interval on the monotonic clock.
void sleepFor(std::chrono::microseconds interval)
{
    std::this_thread::sleep_until(std::chrono::steady_clock::now() + interval);
}

constexpr const char* kNoSequenceCallback = "Imx6x6Sensor init failed! No sequence callback provided!";
constexpr const char* kNoFieldCallback = "Imx6x6Sensor init failed! No write register callback provided!";

}  // namespace

Sensor::Sensor() = default;
Sensor::~Sensor() = default;

std::optional<std::shared_ptr<std::vector<uint8_t>>> Sensor::getNextBuffer()
{
    if (!eventStream || eventStream->waitNextBuffer() < 1) return std::nullopt;
    return eventStream->getLatestBuffer();
}

void Imx6x6Sensor::bindTo(std::shared_ptr<RegisterController> controller)
{
    setApplyRegisterOperationSequenceCallback(
        [controller](const std::vector<RegisterOperation>& sequence) { controller->ApplyRegisterOperationSequence(sequence); });
    setWriteRegisterFieldCallback([controller](const std::string& reg, const std::string& field, uint32_t value) {
        controller->writeRegisterField(reg, field, value);
    });
}

int Imx6x6Sensor::init(std::shared_ptr<Interface> interface)
{
    eventStream = std::make_unique<EventStream>(
        createDataTransferUniquePtr(std::move(interface), 2, 0x20000, USB_ENDPOINT_EVENTS));
    if (!applyRegisterOperationSequenceCallback) {
        ORVANE_LOG_ERROR("%s", kNoSequenceCallback);
        return -1;
    }
    applyRegisterOperationSequenceCallback(imx6x6::kStopSequence);
    applyRegisterOperationSequenceCallback(imx6x6::kPowerOnSequence);
    applyRegisterOperationSequenceCallback(imx6x6::kConfigurationSequence);
    temperatureInit();
    controlIphMirror(true);
    sleepFor(std::chrono::milliseconds(1));
    controlLifo(true, true, true);
    timeBaseConfig(false, true);
    inited = true;
    ORVANE_LOG_INFO("Imx6x6Sensor init success!");
    return 0;
}

int Imx6x6Sensor::start()
{
    if (!inited) {
        ORVANE_LOG_ERROR("Please initialize the Imx6x6Sensor first!");
        return -1;
    }
    eventStream->start();
    if (!applyRegisterOperationSequenceCallback) {
        ORVANE_LOG_ERROR("%s", kNoSequenceCallback);
        return -1;
    }
    applyRegisterOperationSequenceCallback(imx6x6::kStartSequence);
    return 0;
}

int Imx6x6Sensor::stop()
{
    if (eventStream) eventStream->stop();
    if (!applyRegisterOperationSequenceCallback) {
        ORVANE_LOG_ERROR("%s", kNoSequenceCallback);
        return -1;
    }
    applyRegisterOperationSequenceCallback(imx6x6::kStopSequence);
    return 0;
}

bool Imx6x6Sensor::writeField(const std::string& registerName, const std::string& fieldName, uint32_t value)
{
    if (!writeRegisterFieldCallback) return false;
    writeRegisterFieldCallback(registerName, fieldName, value);
    return true;
}

void Imx6x6Sensor::temperatureInit()
{
    if (!writeRegisterFieldCallback) {
        ORVANE_LOG_ERROR("%s", kNoFieldCallback);
        return;
    }
    writeField("adc_control", "adc_en", 1);
    writeField("adc_control", "adc_clk_en", 1);
    writeField("adc_misc_ctrl", "adc_buf_cal_en", 1);
    sleepFor(std::chrono::microseconds(100));
    writeField("temp_ctrl", "temp_buf_en", 1);
    writeField("temp_ctrl", "temp_buf_cal_en", 1);
    sleepFor(std::chrono::microseconds(100));
    writeField("adc_control", "adc_clk_en", 0);
}

void Imx6x6Sensor::controlIphMirror(bool enable)
{
    if (!writeRegisterFieldCallback) {
        ORVANE_LOG_ERROR("%s", kNoFieldCallback);
        return;
    }
    writeField("iph_mirr_ctrl", "iph_mirr_en", enable);
    sleepFor(std::chrono::microseconds(20));
    writeField("iph_mirr_ctrl", "iph_mirr_amp_en", enable);
    sleepFor(std::chrono::microseconds(20));
}

void Imx6x6Sensor::controlLifo(bool lifoEnable, bool outputEnable, bool counterEnable)
{
    if (!writeRegisterFieldCallback) {
        ORVANE_LOG_ERROR("%s", kNoFieldCallback);
        return;
    }
    if (lifoEnable && outputEnable) {
        writeField("lifo_ctrl", "lifo_en", 1);
        sleepFor(std::chrono::milliseconds(1));
        writeField("lifo_ctrl", "lifo_out_en", 1);
        sleepFor(std::chrono::milliseconds(1));
    } else if (lifoEnable) {
        writeField("lifo_ctrl", "lifo_en", 1);
    } else if (outputEnable) {
        writeField("lifo_ctrl", "lifo_out_en", 1);
    } else {
        writeField("lifo_ctrl", "lifo_en", 0);
        writeField("lifo_ctrl", "lifo_out_en", 0);
    }
    writeField("lifo_ctrl", "lifo_cnt_en", counterEnable);
}

void Imx6x6Sensor::timeBaseConfig(bool external, bool master)
{
    if (!writeRegisterFieldCallback) {
        ORVANE_LOG_ERROR("%s", kNoFieldCallback);
        return;
    }
    writeField("ro/time_base_ctrl", "time_base_mode", external);
    writeField("ro/time_base_ctrl", "external_mode", master);
    writeField("ro/time_base_ctrl", "external_mode_enable", external);
    writeField("ro/time_base_ctrl", "Reserved_10_4", 100);
    if (external) writeField("dig_pad2_ctrl", "pad_sync", master ? 12 : 15);
}

}  // namespace orvane
