// orvane bench decode: the decoder's speed on recordings held in memory, for each decode path asked
// for, beside the speed of a plain loop that writes as many Event2D into the same kind of buffer
// (what memory allows), measured in turns in the same run.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "Command.h"
#include "RawData.h"
#include "orvane/hal/Decoder.h"

namespace orvane::cli {
namespace {

// Readers and cameras hand the decoder raw data in pieces of this size.
constexpr size_t kChunkBytes = 131072;

struct Stats {
    uint64_t events = 0, onEvents = 0, triggers = 0, risingTriggers = 0;
    uint64_t sumX = 0, sumY = 0, sumT = 0, sumTriggerT = 0;
    Event2D first, last;
    uint64_t droppedGeometry = 0, droppedUnknown = 0, droppedStepBack = 0, timeHighStepsBack = 0;
    std::vector<uint64_t> chunkEvents;  // events decoded from each chunk, for the baseline
};

std::unique_ptr<Decoder> makeDecoder(const RawData& raw)
{
    return DecoderFactory::createUniqueDecoder(RawEventStreamFormat(
        raw.decoderFormat + ";height=" + std::to_string(raw.height) + ";width=" + std::to_string(raw.width)));
}

// Calls f(begin, end) for each chunk of the data.
template <typename F>
void forEachChunk(const RawData& raw, F&& f)
{
    const uint8_t* const data = raw.data.data();
    for (size_t off = 0; off < raw.data.size(); off += kChunkBytes)
        f(data + off, data + std::min(raw.data.size(), off + kChunkBytes));
}

Stats measure(const RawData& raw)
{
    Stats s;
    auto decoder = makeDecoder(raw);
    decoder->setEventsStreamHandleCallback([&s](const Event2D* b, const Event2D* e) {
        if (b == e) return;
        if (s.events == 0) s.first = *b;
        s.last = e[-1];
        s.events += static_cast<uint64_t>(e - b);
        for (const Event2D* p = b; p != e; ++p) {
            s.onEvents += p->polarity != 0;
            s.sumX += p->x;
            s.sumY += p->y;
            s.sumT += p->timestamp;
        }
    });
    decoder->setTriggerInCallback([&s](EventTriggerIn t) {
        ++s.triggers;
        s.risingTriggers += t.polarity != 0;
        s.sumTriggerT += t.timestamp;
    });
    forEachChunk(raw, [&](const uint8_t* b, const uint8_t* e) { s.chunkEvents.push_back(decoder->decodeRange(b, e)); });
    s.droppedGeometry = decoder->droppedOutOfGeometry();
    s.droppedUnknown = decoder->droppedUnknownAddress();
    s.droppedStepBack = decoder->droppedTimeHighStepBack();
    s.timeHighStepsBack = decoder->timeHighStepsBack();
    return s;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

using Clock = std::chrono::steady_clock;

struct Rates {
    double decodeSeconds = 0, baselineSeconds = 0;
};

// The caller's storage the decoder writes into (EventSink), refilled per chunk as a file reader's
// caller refills its own: allocated once and never initialised, with the decoder's room past the
// largest chunk, so the decoder writes every event straight into it and nothing copies them again.
class ChunkSink final : public EventSink {
public:
    explicit ChunkSink(size_t capacity)
        : data_(static_cast<Event2D*>(::operator new(capacity * sizeof(Event2D), std::align_val_t{64}))),
          capacity_(capacity)
    {
    }
    ~ChunkSink() { ::operator delete(data_, std::align_val_t{64}); }
    ChunkSink(const ChunkSink&) = delete;
    ChunkSink& operator=(const ChunkSink&) = delete;

    std::span<Event2D> room(size_t) override { return {data_ + size_, capacity_ - size_}; }
    void commit(size_t count) override { size_ += count; }
    void clear() { size_ = 0; }

private:
    Event2D* data_;
    size_t capacity_;
    size_t size_ = 0;
};

// Decode and baseline in turns, `repeat` times each, so that both see the same machine load.
Rates measureRates(const RawData& raw, const Stats& s, uint64_t repeat)
{
    const uint64_t most = *std::max_element(s.chunkEvents.begin(), s.chunkEvents.end());
    // The baseline's buffer, reused per chunk (cleared, never shrunk).
    std::vector<Event2D> sink;
    sink.reserve(most);
    std::vector<double> decodeSeconds, baselineSeconds;
    for (uint64_t r = 0; r < repeat; ++r) {
        auto decoder = makeDecoder(raw);
        ChunkSink into(most + decoder->minSinkRoom());
        decoder->setEventSink(&into);
        const auto t0 = Clock::now();
        forEachChunk(raw, [&](const uint8_t* b, const uint8_t* e) {
            into.clear();
            decoder->decodeRange(b, e);
        });
        const auto t1 = Clock::now();
        decodeSeconds.push_back(std::chrono::duration<double>(t1 - t0).count());

        // Baseline: per chunk, the same number of events written by a plain loop into the same buffer.
        const auto b0 = Clock::now();
        uint64_t i = 0;
        for (const uint64_t n : s.chunkEvents) {
            sink.clear();
            for (const uint64_t stop = i + n; i < stop; ++i) {
                sink.emplace_back(static_cast<uint16_t>(i & 1023), static_cast<uint16_t>(i & 511),
                                  static_cast<uint8_t>(i & 1), i);
            }
            Event2D* out = sink.data();
            asm volatile("" : : "r"(out) : "memory");
        }
        const auto b1 = Clock::now();
        baselineSeconds.push_back(std::chrono::duration<double>(b1 - b0).count());
    }
    return {median(decodeSeconds), median(baselineSeconds)};
}

std::string jsonEscape(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
    return out;
}

// Decoders take their path from the environment when they are made.
void usePath(const std::string& path)
{
    ::setenv("ORVANE_EVT3_ISA", path.c_str(), 1);
}

void printDetails(const std::string& file, const RawData& raw, const Stats& s)
{
    std::printf("file            %s (%s, %zu data bytes, %ux%u)\n", file.c_str(), raw.format.c_str(), raw.data.size(),
                raw.width, raw.height);
    std::printf("events          %" PRIu64 " (%" PRIu64 " ON, %" PRIu64 " OFF)\n", s.events, s.onEvents,
                s.events - s.onEvents);
    std::printf("trigger edges   %" PRIu64 " (%" PRIu64 " rising), sum of their t %" PRIu64 "\n", s.triggers,
                s.risingTriggers, s.sumTriggerT);
    std::printf("first event     x %u y %u p %u t %" PRIu64 "\n", s.first.x, s.first.y, s.first.polarity ? 1u : 0u,
                s.first.timestamp);
    std::printf("last event      x %u y %u p %u t %" PRIu64 "\n", s.last.x, s.last.y, s.last.polarity ? 1u : 0u,
                s.last.timestamp);
    std::printf("sums            x %" PRIu64 " y %" PRIu64 " t %" PRIu64 "\n", s.sumX, s.sumY, s.sumT);
    std::printf("dropped         %" PRIu64 " outside the geometry, %" PRIu64 " before their address was known, %" PRIu64
                " under %" PRIu64 " TIME_HIGH steps back\n",
                s.droppedGeometry, s.droppedUnknown, s.droppedStepBack, s.timeHighStepsBack);
    std::printf("bytes per event %.2f\n", static_cast<double>(raw.data.size()) / static_cast<double>(s.events));
}

int run(const Args& args)
{
    if (args.positional().empty()) throw UsageError{"expects at least one FILE.raw"};
    const uint64_t repeat = std::max<uint64_t>(1, args.u64("repeat").value_or(5));
    const bool json = args.has("json");
    std::vector<std::string> paths = {evt3DecodePath()};
    if (const auto p = args.value("path")) {
        const auto known = evt3DecodePaths();
        if (*p == "all") {
            paths = known;
        } else if (std::find(known.begin(), known.end(), *p) != known.end()) {
            paths = {*p};
        } else {
            return fail("decode path '" + *p + "' is not one this CPU runs (all, or one of: " + [&] {
                std::string list;
                for (const auto& k : known) list += (list.empty() ? "" : ", ") + k;
                return list;
            }() + ")");
        }
    }
    const bool table = args.positional().size() > 1 || paths.size() > 1;
    if (table && !json) {
        std::printf("%-28s %-7s %10s %9s %12s %6s %8s\n", "file", "path", "M events/s", "MB/s", "baseline M/s",
                    "ratio", "B/event");
    }
    for (const std::string& file : args.positional()) {
        const RawData raw = loadRawData(file);
        usePath(paths.front());
        const Stats s = measure(raw);
        if (s.events == 0) return fail("no events decoded from '" + file + "'");
        const double bytesPerEvent = static_cast<double>(raw.data.size()) / static_cast<double>(s.events);
        if (!table && !json) printDetails(file, raw, s);
        for (const std::string& path : paths) {
            usePath(path);
            // The decode paths are EVT 3.0's; the other encodings have one each.
            if (raw.decoderFormat != "EVT3" && path != paths.front()) continue;
            const Rates r = measureRates(raw, s, repeat);
            const double mev = static_cast<double>(s.events) / r.decodeSeconds / 1e6;
            const double mbps = static_cast<double>(raw.data.size()) / r.decodeSeconds / 1e6;
            const double baseMev = static_cast<double>(s.events) / r.baselineSeconds / 1e6;
            if (json) {
                std::printf("{\"file\":\"%s\",\"format\":\"%s\",\"path\":\"%s\",\"events\":%" PRIu64 ",\"on_events\":%" PRIu64
                            ",\"triggers\":%" PRIu64 ",\"rising_triggers\":%" PRIu64
                            ",\"first\":{\"x\":%u,\"y\":%u,\"p\":%u,\"t\":%" PRIu64
                            "},\"last\":{\"x\":%u,\"y\":%u,\"p\":%u,\"t\":%" PRIu64 "},\"sum_x\":%" PRIu64
                            ",\"sum_y\":%" PRIu64 ",\"sum_t\":%" PRIu64 ",\"sum_trigger_t\":%" PRIu64
                            ",\"time_high_steps_back\":%" PRIu64 ",\"dropped_step_back\":%" PRIu64
                            ",\"bytes\":%zu,\"bytes_per_event\":%.3f,\"mev_per_s\":%.1f,\"mb_per_s\":%.1f"
                            ",\"baseline_mev_per_s\":%.1f,\"ratio\":%.3f,\"repeat\":%" PRIu64 "}\n",
                            jsonEscape(file).c_str(), raw.format.c_str(), path.c_str(), s.events, s.onEvents, s.triggers, s.risingTriggers,
                            s.first.x, s.first.y, s.first.polarity ? 1u : 0u, s.first.timestamp, s.last.x, s.last.y,
                            s.last.polarity ? 1u : 0u, s.last.timestamp, s.sumX, s.sumY, s.sumT, s.sumTriggerT,
                            s.timeHighStepsBack, s.droppedStepBack, raw.data.size(), bytesPerEvent, mev, mbps,
                            baseMev, mev / baseMev, repeat);
            } else if (table) {
                std::string name = file.substr(file.find_last_of('/') + 1);
                std::printf("%-28s %-7s %10.1f %9.1f %12.1f %6.2f %8.2f\n", name.c_str(), path.c_str(), mev, mbps,
                            baseMev, mev / baseMev, bytesPerEvent);
            } else {
                std::printf("decode path     %s\n", path.c_str());
                std::printf("decode          %.1f M events/s, %.1f MB/s (median of %" PRIu64 ", %zu-byte chunks)\n",
                            mev, mbps, repeat, kChunkBytes);
                std::printf("baseline        %.1f M events/s (plain loop writing Event2D)\n", baseMev);
                std::printf("ratio           %.2f\n", mev / baseMev);
            }
            std::fflush(stdout);
        }
    }
    return 0;
}

}  // namespace

ORVANE_CLI_COMMAND(
    "bench decode",
    "decode recordings held in memory N times with the given decode paths (default: the one in "
    "use); print the decode rate beside a plain Event2D write loop of the same run",
    {{"FILE.raw", "recordings", true}},
    {{"repeat", Option::Kind::Count, "N", "decodes of each recording (default 5)"},
     {"path", Option::Kind::Text, "all|avx2|scalar", "the decode paths to time"},
     {"json", Option::Kind::Flag, "", "one JSON object per recording and path"}},
    run);

}  // namespace orvane::cli
