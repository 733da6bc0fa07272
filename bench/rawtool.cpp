// orvane_rawtool: makes benchmark recordings.
//   loop IN.raw OUT.raw (--events N | --bytes N)  repeat a recording's data, each copy's TIME_HIGH
//                                                 words shifted so time keeps growing
//   dense OUT.raw --events N                      a dense synthetic stream (full vector words)
//   mixed OUT.raw --events N                      what busy real scenes look like: vector words about
//                                                 half full with single events between them, TIME_HIGH
//                                                 every 16 us, a trigger edge every 500 us
// loop and mixed take --format evt3|evt2|evt21 (default evt3): loop then re-encodes the recording's
// events and trigger edges in that encoding (TIME_HIGH every 64 us, as sensors write EVT 2.x), and
// mixed writes the same busy scene in it.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "orvane/hal/Decoder.h"
#include "orvane/hal/Evt2Encoder.h"
#include "orvane/hal/Evt3Encoder.h"

using namespace orvane;

namespace {

const char* kHeader =
    "% camera_integrator_name Prophesee\n% date 2026-01-01 00:00:00\n% evt 3.0\n"
    "% format EVT3; height = 720; width = 1280\n% generation 4.2\n% geometry 1280x720\n"
    "% integrator_name Prophesee\n% plugin_integrator_name Prophesee\n% plugin_name hal_plugin_prophesee\n"
    "% sensor_generation 4.2\n% sensor_name IMX646\n% serial_number ffffffffffffffff\n% system_ID 53\n% end\n";

enum class Format { Evt3, Evt2, Evt21 };

std::string headerFor(Format f)
{
    std::string h = kHeader;
    if (f == Format::Evt3) return h;
    const bool wide = f == Format::Evt21;
    h.replace(h.find("% evt 3.0"), 9, wide ? "% evt 2.1" : "% evt 2.0");
    h.replace(h.find("EVT3;"), 5, wide ? "EVT21;" : "EVT2;");
    return h;
}

// The events and trigger edges of an EVT 3.0 stream, in stream order (a trigger's index is the
// number of events before it).
struct Decoded {
    std::vector<Event2D> events;
    std::vector<std::pair<size_t, EventTriggerIn>> triggers;
};

Decoded decodeAll(const std::vector<uint8_t>& data)
{
    Decoded d;
    auto decoder = DecoderFactory::createUniqueDecoder(RawEventStreamFormat("EVT3;height=2048;width=2048"));
    decoder->setEventsStreamHandleCallback(
        [&d](const Event2D* b, const Event2D* e) { d.events.insert(d.events.end(), b, e); });
    decoder->setTriggerInCallback([&d](EventTriggerIn t) { d.triggers.emplace_back(d.events.size(), t); });
    decoder->decodeBuffer(data);
    return d;
}

// Copies of the recording's events, each shifted in time past the one before, in an EVT 2.x encoding.
int loopEvt2(const std::vector<uint8_t>& data, const std::string& outPath, Format f, uint64_t targetEvents,
             uint64_t targetBytes)
{
    const Decoded d = decodeAll(data);
    if (d.events.empty()) {
        std::fprintf(stderr, "orvane_rawtool: no events in the input\n");
        return 1;
    }
    uint64_t first = d.events.front().timestamp, last = first;
    for (const Event2D& e : d.events) last = std::max(last, e.timestamp);
    for (const auto& [i, t] : d.triggers) last = std::max(last, t.timestamp);
    const uint64_t span = last - first + 64;
    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    out << headerFor(f);
    Evt2Encoder encoder(Evt2Encoder::Options{f == Format::Evt21, true});
    std::vector<Event2D> shifted(d.events.size());
    std::vector<uint8_t> words;
    uint64_t events = 0, bytes = 0, copies = 0;
    while ((targetEvents && events < targetEvents) || (targetBytes && bytes < targetBytes)) {
        const uint64_t s = copies * span;
        for (size_t i = 0; i < d.events.size(); ++i) {
            shifted[i] = d.events[i];
            shifted[i].timestamp += s;
        }
        words.clear();
        size_t done = 0;
        for (const auto& [at, t] : d.triggers) {
            encoder.encode(shifted.data() + done, shifted.data() + at, words);
            done = at;
            EventTriggerIn moved = t;
            moved.timestamp += s;
            encoder.encodeTrigger(moved, words);
        }
        encoder.encode(shifted.data() + done, shifted.data() + shifted.size(), words);
        out.write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(words.size()));
        events += d.events.size();
        bytes += words.size();
        ++copies;
    }
    if (!out) {
        std::fprintf(stderr, "orvane_rawtool: cannot write %s\n", outPath.c_str());
        return 1;
    }
    std::printf("%s: %" PRIu64 " copies, %" PRIu64 " events, %" PRIu64 " data bytes\n", outPath.c_str(), copies,
                events, bytes);
    return 0;
}

bool readRaw(const std::string& path, std::string& header, std::vector<uint8_t>& data)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string line;
    while (in.peek() == '%') {
        std::getline(in, line);
        header += line + "\n";
        if (line == "% end") break;
    }
    in.clear();
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

uint64_t countEvents(const std::vector<uint8_t>& data)
{
    auto decoder = DecoderFactory::createUniqueDecoder(RawEventStreamFormat("EVT3;height=2048;width=2048"));
    return decoder->decodeBuffer(data);
}

int loop(const std::string& in, const std::string& outPath, uint64_t targetEvents, uint64_t targetBytes, Format f)
{
    std::string header;
    std::vector<uint8_t> data;
    if (!readRaw(in, header, data)) {
        std::fprintf(stderr, "orvane_rawtool: cannot read %s\n", in.c_str());
        return 1;
    }
    if (f != Format::Evt3) return loopEvt2(data, outPath, f, targetEvents, targetBytes);
    data.resize(data.size() & ~size_t{1});
    // Span of the copy in TIME_HIGH units, following wraps as the decoder does.
    bool seen = false;
    uint32_t prev = 0;
    uint64_t first = 0, high64 = 0;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        const uint32_t w = data[i] | (data[i + 1] << 8);
        if ((w >> 12) != 0x8) continue;
        const uint32_t h = w & 0xFFF;
        if (!seen) {
            seen = true;
            first = high64 = h;
        } else if (h < prev && prev - h > 0x800) {
            high64 += 0x1000 - prev + h;
        } else if (h > prev) {
            high64 += h - prev;
        }
        prev = h;
    }
    const uint64_t shift = high64 - first + 1;
    const uint64_t perCopy = countEvents(data);
    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    out << header;
    std::vector<uint8_t> copy(data.size());
    uint64_t events = 0, bytes = 0, copies = 0;
    while ((targetEvents && events < targetEvents) || (targetBytes && bytes < targetBytes)) {
        std::memcpy(copy.data(), data.data(), data.size());
        const uint64_t s = copies * shift;
        for (size_t i = 0; i + 1 < copy.size(); i += 2) {
            if ((copy[i + 1] >> 4) != 0x8) continue;
            const uint32_t w = copy[i] | (copy[i + 1] << 8);
            const uint32_t h = static_cast<uint32_t>(((w & 0xFFF) + s) & 0xFFF);
            copy[i] = static_cast<uint8_t>(h & 0xFF);
            copy[i + 1] = static_cast<uint8_t>(0x80 | (h >> 8));
        }
        out.write(reinterpret_cast<const char*>(copy.data()), static_cast<std::streamsize>(copy.size()));
        events += perCopy;
        bytes += copy.size();
        ++copies;
        if (perCopy == 0 && targetEvents) break;
    }
    if (!out) {
        std::fprintf(stderr, "orvane_rawtool: cannot write %s\n", outPath.c_str());
        return 1;
    }
    std::printf("%s: %" PRIu64 " copies, about %" PRIu64 " events, %" PRIu64 " data bytes\n", outPath.c_str(),
                copies, events, bytes);
    return 0;
}

int dense(const std::string& outPath, uint64_t targetEvents)
{
    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    out << kHeader;
    Evt3Encoder encoder;
    std::mt19937 rng(7);
    std::vector<Event2D> events;
    std::vector<uint8_t> words;
    uint64_t total = 0, t = 1000;
    while (total < targetEvents) {
        events.clear();
        // Each microsecond a few edges sweep across rows: long runs, about 90% of pixels firing.
        for (int r = 0; r < 8; ++r) {
            const uint16_t y = static_cast<uint16_t>(rng() % 720);
            const uint16_t x0 = static_cast<uint16_t>(rng() % 1000);
            const uint8_t p = static_cast<uint8_t>(rng() & 1);
            for (uint16_t x = x0; x < x0 + 240 && x < 1280; ++x) {
                if (rng() % 10 != 0) events.emplace_back(x, y, p, t);
            }
        }
        std::sort(events.begin(), events.end(), [](const Event2D& a, const Event2D& b) {
            return a.y != b.y ? a.y < b.y : a.x < b.x;
        });
        words.clear();
        encoder.encode(events, words);
        out.write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(words.size()));
        total += events.size();
        t += 1;
    }
    std::printf("%s: %" PRIu64 " events\n", outPath.c_str(), total);
    return out ? 0 : 1;
}

// Each microsecond a few rows fire along short edges (about half the pixels of a span, so vector
// words come about half full) and a scatter of isolated pixels fires on other rows. About 1.06 bytes
// per event, the density of busy real scenes.
int mixed(const std::string& outPath, uint64_t targetEvents, Format f)
{
    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    out << headerFor(f);
    Evt3Encoder encoder(Evt3Encoder::Options{true, 16});
    Evt2Encoder encoder2(Evt2Encoder::Options{f == Format::Evt21, true});
    std::mt19937 rng(11);
    std::vector<Event2D> events;
    std::vector<uint8_t> words;
    uint64_t total = 0, t = 1000, bytes = 0;
    int16_t edge = 1;
    while (total < targetEvents) {
        events.clear();
        for (int r = 0; r < 6; ++r) {
            const uint16_t y = static_cast<uint16_t>(rng() % 720);
            const uint16_t x0 = static_cast<uint16_t>(rng() % 1180);
            const uint8_t p = static_cast<uint8_t>(rng() & 1);
            for (uint16_t x = x0; x < x0 + 96; ++x) {
                if (rng() % 2) events.emplace_back(x, y, p, t);
            }
        }
        for (int i = 0; i < 64; ++i) {
            events.emplace_back(static_cast<uint16_t>(rng() % 1280), static_cast<uint16_t>(rng() % 720),
                                static_cast<uint8_t>(rng() & 1), t);
        }
        // Rows in order, each pixel once; a pixel repeated in a row would break the encoder's runs.
        std::sort(events.begin(), events.end(), [](const Event2D& a, const Event2D& b) {
            return a.y != b.y ? a.y < b.y : a.x < b.x;
        });
        events.erase(std::unique(events.begin(), events.end(),
                                 [](const Event2D& a, const Event2D& b) { return a.x == b.x && a.y == b.y; }),
                     events.end());
        words.clear();
        if (f == Format::Evt3) {
            encoder.encode(events, words);
            if (t % 500 == 0) encoder.encodeTrigger(EventTriggerIn(0, edge ^= 1, t), words);
        } else {
            encoder2.encode(events, words);
            if (t % 500 == 0) encoder2.encodeTrigger(EventTriggerIn(0, edge ^= 1, t), words);
        }
        out.write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(words.size()));
        total += events.size();
        bytes += words.size();
        t += 1;
    }
    std::printf("%s: %" PRIu64 " events, %.2f bytes per event\n", outPath.c_str(), total,
                static_cast<double>(bytes) / static_cast<double>(total));
    return out ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> a(argv + 1, argv + argc);
    auto opt = [&](const char* name) -> uint64_t {
        for (size_t i = 0; i + 1 < a.size(); ++i)
            if (a[i] == name) return std::stoull(a[i + 1]);
        return 0;
    };
    Format f = Format::Evt3;
    for (size_t i = 0; i + 1 < a.size(); ++i) {
        if (a[i] != "--format") continue;
        if (a[i + 1] == "evt2") f = Format::Evt2;
        else if (a[i + 1] == "evt21") f = Format::Evt21;
        else if (a[i + 1] != "evt3") {
            std::fprintf(stderr, "orvane_rawtool: --format is evt3, evt2 or evt21\n");
            return 2;
        }
    }
    if (a.size() >= 3 && a[0] == "loop") return loop(a[1], a[2], opt("--events"), opt("--bytes"), f);
    if (a.size() >= 2 && a[0] == "dense") return dense(a[1], opt("--events"));
    if (a.size() >= 2 && a[0] == "mixed") return mixed(a[1], opt("--events"), f);
    std::fprintf(stderr,
                 "usage: orvane_rawtool loop IN.raw OUT.raw (--events N | --bytes N) [--format evt3|evt2|evt21]\n"
                 "       orvane_rawtool dense OUT.raw --events N\n"
                 "       orvane_rawtool mixed OUT.raw --events N [--format evt3|evt2|evt21]\n");
    return 2;
}
