// The simulated cameras: the backend we ship on the device bus. At the bus's first use it plugs
// what the environment names:
//   ORVANE_SIM_CAMERAS  comma-separated model:serial list (evk4, kestrel, tandem), or "none";
//                       unset: one Kestrel ("KE000001") and one Tandem ("TD000001")
//   ORVANE_SIM_RATE     event rate of the scene in events/s (default 2000000)
//   ORVANE_SIM_REPLAY   a raw recording the event sensors play in a loop instead of the scene
// Tests and tools plug, unplug and inspect devices through the functions below (any thread).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane::sim {

enum class Model { Evk4, Kestrel, Tandem };

struct DeviceOptions {
    double eventRate = 0;          // 0: ORVANE_SIM_RATE or the default
    std::string replayPath;        // empty: ORVANE_SIM_REPLAY or the scene; "-" forces the scene
    uint32_t eventFifoBuffers = 0;  // device FIFO depth in buffers (0: 16 MiB worth)
    uint32_t frameFifoBuffers = 0;  // (0: two frames)
    // The sensor's time (µs) when plugged: a real sensor counts from its power-up, so a camera that
    // has been on for a while is far into its time, past loops of the format's time counter.
    uint64_t clockStartUs = 0;
};

std::optional<Model> parseModel(const std::string& name);
// False when the serial is already on the bus, or when the replay file cannot be replayed (logged
// with the reason: missing, not EVT 3.0, no event data).
bool plug(Model model, const std::string& serial, const DeviceOptions& options = {});
// Takes the device off the bus: its interfaces report disconnected and their waits end.
bool unplug(const std::string& serial);
void unplugAll();
std::vector<std::string> pluggedSerials();

struct RegisterWrite {
    uint32_t address;
    uint32_t value;
};
// Every register write the device received since plugging (or the last clear), in order.
std::vector<RegisterWrite> registerWrites(const std::string& serial);
void clearRegisterWrites(const std::string& serial);
uint32_t peekRegister(const std::string& serial, uint32_t address);
// Whether the event readout runs (the start sequence's bits are all set).
bool readoutActive(const std::string& serial);
// Events the sensor's digital filters removed so far.
uint64_t filteredEvents(const std::string& serial);

// Benchmark hook: produces `streamUs` of the scene's (or a replay's) EVT 3.0 stream as fast as it
// can, appending to `out`; returns the number of events the scene made (0 for a replay).
uint64_t produceUnpaced(double eventRate, uint64_t streamUs, std::vector<uint8_t>& out,
                        const std::string& replayPath = "");

}  // namespace orvane::sim
