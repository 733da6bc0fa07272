// A sensor driven only through three injected register callbacks; it owns the event stream that
// carries its raw data. Sensor bring-up runs on the caller's thread; getNextBuffer on the camera
// thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

class EventStream;
class Interface;
struct RegisterOperation;

class Sensor {
public:
    using WriteRegisterCallback = std::function<void(const std::string& registerName, uint32_t value)>;
    using WriteRegisterFieldCallback =
        std::function<void(const std::string& registerName, const std::string& fieldName, uint32_t value)>;
    using ApplySequenceCallback = std::function<void(const std::vector<RegisterOperation>&)>;

    Sensor();
    Sensor(const Sensor&) = delete;
    Sensor& operator=(const Sensor&) = delete;

    void setWriteRegisterCallback(WriteRegisterCallback callback) { writeRegisterCallback = std::move(callback); }
    void setWriteRegisterFieldCallback(WriteRegisterFieldCallback callback)
    {
        writeRegisterFieldCallback = std::move(callback);
    }
    void setApplyRegisterOperationSequenceCallback(ApplySequenceCallback callback)
    {
        applyRegisterOperationSequenceCallback = std::move(callback);
    }

    // The next raw buffer of the event stream, or nothing when the stream's wait gave none.
    std::optional<std::shared_ptr<std::vector<uint8_t>>> getNextBuffer();
    EventStream* getEventStream() const { return eventStream.get(); }

    virtual int init(std::shared_ptr<Interface> interface) = 0;
    virtual int start() = 0;
    virtual int stop() = 0;

    // Virtual: cameras own their sensors as unique_ptr<Sensor> and delete them through this base.
    virtual ~Sensor();

protected:
    std::unique_ptr<EventStream> eventStream;
    WriteRegisterCallback writeRegisterCallback;
    WriteRegisterFieldCallback writeRegisterFieldCallback;
    ApplySequenceCallback applyRegisterOperationSequenceCallback;
    bool inited = false;
};

}  // namespace orvane
