// The simulator's side of the bus: what the environment plugs at first use, and the functions
// tests use to plug, unplug and look into devices.
#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "orvane/base/Logger.h"
#include "orvane/hal/Evt3Encoder.h"
#include "orvane/hal/Simulator.h"
#include "sim/Replay.h"
#include "sim/Scene.h"
#include "sim/SimDevice.h"
#include "usb/BusDevice.h"

namespace orvane {

void plugConfiguredSimulatedDevices(DeviceBus& bus)
{
    const char* env = std::getenv("ORVANE_SIM_CAMERAS");
    const std::string list = env ? env : "kestrel:KE000001,tandem:TD000001";
    if (list == "none" || list.empty()) return;
    std::stringstream ss(list);
    std::string item;
    // Serials plugged so far; asking the bus here would re-enter its one-time population.
    std::vector<std::string> plugged;
    while (std::getline(ss, item, ',')) {
        const size_t colon = item.find(':');
        const std::string model = item.substr(0, colon);
        const std::string serial = colon == std::string::npos ? "" : item.substr(colon + 1);
        const auto m = sim::parseModel(model);
        if (!m || serial.empty()) {
            ORVANE_LOG_WARNING("ORVANE_SIM_CAMERAS: \"%s\" is not model:serial (models evk4, kestrel, tandem)",
                               item.c_str());
            continue;
        }
        if (std::find(plugged.begin(), plugged.end(), serial) != plugged.end()) {
            ORVANE_LOG_WARNING("ORVANE_SIM_CAMERAS: serial \"%s\" given twice", serial.c_str());
            continue;
        }
        plugged.push_back(serial);
        auto device = std::make_shared<sim::SimDevice>(*m, serial, sim::DeviceOptions{});
        if (!device->replayFailure().empty()) {
            // A camera that would stream nothing (or garbage) is not a camera: say why it is missing.
            ORVANE_LOG_ERROR("Simulated camera %s is not plugged: %s", serial.c_str(), device->replayFailure().c_str());
            continue;
        }
        bus.add(std::move(device));
    }
}

}  // namespace orvane

namespace orvane::sim {
namespace {

std::shared_ptr<SimDevice> device(const std::string& serial)
{
    return std::dynamic_pointer_cast<SimDevice>(DeviceBus::instance().find(serial));
}

}  // namespace

std::optional<Model> parseModel(const std::string& name)
{
    std::string n;
    for (char c : name) n += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (n == "evk4") return Model::Evk4;
    if (n == "kestrel") return Model::Kestrel;
    if (n == "tandem") return Model::Tandem;
    return std::nullopt;
}

bool plug(Model model, const std::string& serial, const DeviceOptions& options)
{
    auto& bus = DeviceBus::instance();
    if (serial.empty() || bus.find(serial)) return false;
    auto device = std::make_shared<SimDevice>(model, serial, options);
    if (!device->replayFailure().empty()) {
        ORVANE_LOG_ERROR("Simulated camera %s is not plugged: %s", serial.c_str(), device->replayFailure().c_str());
        return false;
    }
    bus.add(std::move(device));
    return true;
}

bool unplug(const std::string& serial)
{
    auto d = std::dynamic_pointer_cast<SimDevice>(DeviceBus::instance().remove(serial));
    if (!d) return false;
    d->unplug();
    return true;
}

void unplugAll()
{
    for (const std::string& s : pluggedSerials()) unplug(s);
}

std::vector<std::string> pluggedSerials()
{
    std::vector<std::string> out;
    for (const auto& d : DeviceBus::instance().devices()) out.push_back(d->description().serial);
    return out;
}

std::vector<RegisterWrite> registerWrites(const std::string& serial)
{
    auto d = device(serial);
    return d ? d->writes() : std::vector<RegisterWrite>{};
}

void clearRegisterWrites(const std::string& serial)
{
    if (auto d = device(serial)) d->clearWrites();
}

uint32_t peekRegister(const std::string& serial, uint32_t address)
{
    auto d = device(serial);
    return d ? d->peek(address) : 0;
}

bool readoutActive(const std::string& serial)
{
    auto d = device(serial);
    return d && d->readoutActive();
}

uint64_t filteredEvents(const std::string& serial)
{
    auto d = device(serial);
    return d ? d->filtered() : 0;
}

uint64_t produceUnpaced(double eventRate, uint64_t streamUs, std::vector<uint8_t>& out, const std::string& replayPath)
{
    if (!replayPath.empty()) {
        ReplaySource replay;
        std::string reason;
        if (!replay.open(replayPath, reason)) {
            ORVANE_LOG_ERROR("The replay file \"%s\" %s", replayPath.c_str(), reason.c_str());
            return 0;
        }
        replay.produce(replay.firstTimeUs() + streamUs, out);
        return 0;
    }
    EventScene scene;
    SensorSettings s;
    s.targetRate = eventRate;
    scene.configure(s);
    Evt3Encoder encoder(Evt3Encoder::Options{true, 16});
    std::vector<Event2D> events;
    uint64_t n = 0;
    for (uint64_t t = 0; t < streamUs; t += 1000) {
        events.clear();
        scene.produce(t, t + 1000, events);
        encoder.encode(events.data(), events.data() + events.size(), out);
        encoder.encodeTime(t + 999, out);
        n += events.size();
    }
    return n;
}

}  // namespace orvane::sim
