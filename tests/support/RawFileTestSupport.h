// Helpers for tests that write raw recordings: the header our writers use, temporary folders,
// generated event streams and a straight decode to compare readers against.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "orvane/hal/Decoder.h"
#include "orvane/hal/Evt2Encoder.h"
#include "orvane/hal/Evt3Encoder.h"
#include "orvane/types/Event2D.h"

namespace orvane::test {

inline const char* standardRawHeader()
{
    return "% camera_integrator_name Prophesee\n% date 2026-01-01 00:00:00\n% evt 3.0\n"
           "% format EVT3; height = 720; width = 1280\n% generation 4.2\n% geometry 1280x720\n"
           "% integrator_name Prophesee\n% plugin_integrator_name Prophesee\n% plugin_name hal_plugin_prophesee\n"
           "% sensor_generation 4.2\n% sensor_name IMX646\n% serial_number ffffffffffffffff\n% system_ID 53\n% end\n";
}

// The encodings, by the decoder's name: "EVT3", "EVT2", "EVT21".
inline const char* evtValueOf(const std::string& format)
{
    return format == "EVT2" ? "2.0" : format == "EVT21" ? "2.1" : "3.0";
}

// Our writers' header for another encoding.
inline std::string standardRawHeader(const std::string& format)
{
    std::string h = standardRawHeader();
    h.replace(h.find("% evt 3.0"), 9, std::string("% evt ") + evtValueOf(format));
    h.replace(h.find("EVT3;"), 5, format + ";");
    return h;
}

// Bytes per word and the span of the time before it wraps.
inline size_t unitOf(const std::string& format)
{
    return format == "EVT2" ? 4 : format == "EVT21" ? 8 : 2;
}
inline uint64_t timeWrapOf(const std::string& format)
{
    return format == "EVT3" ? uint64_t{1} << 24 : uint64_t{1} << 34;
}

// A fresh folder under the system's temporary directory, removed with the object.
class TempDir {
public:
    TempDir()
    {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() / ("orvane-test-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline void writeBytes(const std::string& path, const std::string& header, const std::vector<uint8_t>& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline std::vector<uint8_t> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Events of a fresh decoder for a sensor of the given size (the readers' is the header's) over
// `data`, in one call.
inline std::vector<Event2D> straightDecode(const std::vector<uint8_t>& data, const std::string& format = "EVT3",
                                          unsigned width = 1280, unsigned height = 720)
{
    auto decoder = DecoderFactory::createUniqueDecoder(RawEventStreamFormat(
        format + ";height=" + std::to_string(height) + ";width=" + std::to_string(width)));
    std::vector<Event2D> out;
    decoder->setEventsStreamHandleCallback([&out](const Event2D* b, const Event2D* e) { out.insert(out.end(), b, e); });
    decoder->decodeRange(data.data(), data.data() + data.size());
    return out;
}

// A recording as written: whether its header ends, its events and its rising trigger edges.
struct DecodedRecording {
    bool header = false;
    std::vector<Event2D> events;
    std::set<uint64_t> risingEdges;
};

inline DecodedRecording decodeRecording(const std::string& path)
{
    const std::vector<uint8_t> file = readBytes(path);
    const std::string text(file.begin(), file.end());
    const size_t headerEnd = text.find("% end\n");
    DecodedRecording out;
    if (headerEnd == std::string::npos) return out;
    out.header = true;
    auto decoder = DecoderFactory::createUniqueDecoder(RawEventStreamFormat("EVT3;height=720;width=1280"));
    decoder->setEventsStreamHandleCallback(
        [&out](const Event2D* b, const Event2D* e) { out.events.insert(out.events.end(), b, e); });
    decoder->setTriggerInCallback([&out](EventTriggerIn t) {
        if (t.polarity != 0) out.risingEdges.insert(t.timestamp);
    });
    decoder->decodeRange(file.data() + headerEnd + 6, file.data() + file.size());
    return out;
}

struct StreamShape {
    uint64_t startUs = 5000000;
    uint64_t durationUs = 200000;
    uint64_t events = 60000;
    bool rowRuns = false;  // runs along one row (the encoder makes vectors of them)
    uint32_t timeHighPeriodUs = 0;
    uint32_t seed = 1;
    // Share of events (in percent) stamped 1 to 11 us before the one they follow, under the same
    // TIME_HIGH, as real IMX636 streams have them (the encoder writes the TIME_LOW stepping back).
    uint32_t backstepPercent = 0;
    std::string format = "EVT3";  // the encoding: "EVT3", "EVT2" or "EVT21"
};

// Sorted events spread over the span, several per timestamp, with gaps and bursts so bookmarks
// fall at uneven places.
inline std::vector<Event2D> makeEvents(const StreamShape& shape)
{
    std::mt19937 rng(shape.seed);
    std::vector<Event2D> events;
    events.reserve(shape.events);
    uint64_t t = shape.startUs;
    const uint64_t meanStep = std::max<uint64_t>(1, shape.durationUs / std::max<uint64_t>(1, shape.events / 4));
    while (events.size() < shape.events) {
        const uint32_t r = rng() % 100;
        if (r < 2) t += 2500 + rng() % 3000;  // a quiet stretch longer than a bookmark period
        else t += rng() % (2 * meanStep + 1);
        const uint32_t n = 1 + rng() % 7;
        const uint16_t y = static_cast<uint16_t>(rng() % 720);
        uint16_t x = static_cast<uint16_t>(rng() % 1200);
        for (uint32_t i = 0; i < n && events.size() < shape.events; ++i) {
            if (shape.rowRuns) {
                x = static_cast<uint16_t>(x + 1 + rng() % 2);
                if (x >= 1280) break;
                events.emplace_back(x, y, static_cast<uint8_t>(1), t);
            } else {
                events.emplace_back(static_cast<uint16_t>(rng() % 1280), static_cast<uint16_t>(rng() % 720),
                                    static_cast<uint8_t>(rng() & 1), t);
            }
        }
    }
    if (shape.backstepPercent > 0) {
        for (size_t i = 1; i < events.size(); ++i) {
            const uint64_t prev = events[i - 1].timestamp;
            const uint64_t back = 1 + rng() % 11;
            if (rng() % 100 >= shape.backstepPercent || (prev & 0xFFF) < back) continue;
            // This event and the few after it that shared its time, a little earlier.
            const uint64_t own = events[i].timestamp;
            for (size_t j = i; j < events.size() && events[j].timestamp == own; ++j) events[j].timestamp = prev - back;
        }
    }
    return events;
}

struct StreamCase {
    std::string name;
    StreamShape shape;
};

// Each case in each encoding. Times stepping back are what EVT 3.0 sensors write (a TIME_LOW under
// the same TIME_HIGH); EVT 2.x has no such word, so those cases are EVT 3.0's only. EVT 2.x crosses
// its own 34-bit wrap instead.
inline std::vector<StreamCase> inEveryFormat(const std::vector<StreamCase>& evt3Cases)
{
    std::vector<StreamCase> out = evt3Cases;
    for (const char* format : {"EVT2", "EVT21"}) {
        for (StreamCase c : evt3Cases) {
            if (c.shape.backstepPercent != 0) continue;
            if (c.name == "wrap") c.shape.startUs = (uint64_t{1} << 34) - 100000;
            if (c.name == "late") c.shape.startUs = (uint64_t{1} << 35) + 123456;
            c.shape.format = format;
            c.name = std::string(format) + "_" + c.name;
            out.push_back(c);
        }
    }
    return out;
}

inline std::vector<uint8_t> encodeStream(const std::vector<Event2D>& events, const StreamShape& shape)
{
    if (shape.format != "EVT3") {
        // EVT 2.1 packs the row runs into masks; the heartbeat is every TIME_HIGH a sensor sends.
        return encodeEvt2(events, {}, Evt2Encoder::Options{shape.format == "EVT21", shape.timeHighPeriodUs != 0});
    }
    Evt3Encoder::Options options;
    options.useVectors = shape.rowRuns;
    options.timeHighPeriodUs = shape.timeHighPeriodUs;
    return encodeEvt3(events, {}, options);
}

// The index file's checksum, bit by bit (CRC-8, polynomial 0x07, initial 0, no reflection).
inline uint8_t referenceCrc8(const uint8_t* p, size_t n)
{
    uint8_t c = 0;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int b = 0; b < 8; ++b) c = static_cast<uint8_t>((c & 0x80) ? (c << 1) ^ 0x07 : c << 1);
    }
    return c;
}

}  // namespace orvane::test
