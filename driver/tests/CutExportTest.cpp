// Cut and export of a loaded recording: a cut is our header, the decoder state words and a
// byte-exact copy of the range, and decodes to exactly the source's events of the range (timestamps
// equal modulo the 24-bit wrap); an export has one frame per non-empty 33 333 us slice in the colours
// of the rendering; a refusal or failure leaves no file behind.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <regex>

#include "RawFileTestSupport.h"
#include "orvane/base/Logger.h"
#include "orvane/driver/Mp4FileReader.h"
#include "orvane/driver/RawFileReader.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr size_t kHeaderLines = 14;
constexpr size_t kPrefixBytes = 8;  // TIME_HIGH, TIME_LOW and two state words before the copy

size_t headerLength(const std::vector<uint8_t>& file)
{
    size_t at = 0;
    for (size_t lines = 0; lines < kHeaderLines && at < file.size(); ++lines) {
        at = static_cast<size_t>(std::find(file.begin() + static_cast<long>(at), file.end(), uint8_t{'\n'}) -
                                 file.begin()) +
             1;
    }
    return at;
}

// The events a read of [from, to) gives: in stream order, from the first event at or past `from`
// up to the first at or past `to` (times may step back a little, so this is not a filter).
std::vector<Event2D> inRange(const std::vector<Event2D>& all, uint64_t from, uint64_t to)
{
    auto first = [&](uint64_t t) {
        return std::find_if(all.begin(), all.end(), [t](const Event2D& e) { return e.timestamp >= t; });
    };
    const auto a = first(from);
    return std::vector<Event2D>(a, std::max(a, first(to)));
}

// The cut's events against the source's: same order, pixels and polarities, timestamps apart by one
// whole number of 24-bit wraps.
void expectSameModuloWrap(const std::vector<Event2D>& cut, const std::vector<Event2D>& source,
                          uint64_t wrap = uint64_t{1} << 24)
{
    ASSERT_EQ(cut.size(), source.size());
    if (cut.empty()) return;
    const uint64_t shift = source.front().timestamp - cut.front().timestamp;
    EXPECT_EQ(shift % wrap, 0u);
    for (size_t i = 0; i < cut.size(); ++i) {
        ASSERT_EQ(cut[i].x, source[i].x) << i;
        ASSERT_EQ(cut[i].y, source[i].y) << i;
        ASSERT_EQ(cut[i].polarity, source[i].polarity) << i;
        ASSERT_EQ(cut[i].timestamp + shift, source[i].timestamp) << i;
    }
}

// The log's output for the duration of one call.
class LogCapture {
public:
    explicit LogCapture(const TempDir& dir) : path_(dir.file("log.txt"))
    {
        Logger::Instance().setOutputFile(path_);
    }
    ~LogCapture() { Logger::Instance().setOutputFile(""); }
    std::string text() const
    {
        const auto bytes = test::readBytes(path_);
        return std::string(bytes.begin(), bytes.end());
    }

private:
    std::string path_;
};

// Everything in `dir` except the recording, its index and the log.
std::vector<std::string> strayFiles(const TempDir& dir)
{
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        if (name != "rec.raw" && name != "rec.ovmark.tmp" && name != "log.txt") out.push_back(name);
    }
    return out;
}

struct Source {
    std::string format = "EVT3";
    TempDir dir;
    std::vector<uint8_t> file;
    size_t dataStart = 0;
    std::vector<Event2D> events;  // straight decode of the data
    std::unique_ptr<RawFileReader> reader;
    uint64_t start = 0, end = 0;

    void write(const std::string& header, const std::vector<uint8_t>& data)
    {
        test::writeBytes(dir.file("rec.raw"), header, data);
        open(dir.file("rec.raw"));
    }
    void open(const std::string& path)
    {
        file = test::readBytes(path);
        dataStart = 0;
        while (dataStart < file.size() && file[dataStart] == '%') {
            const auto nl = std::find(file.begin() + static_cast<long>(dataStart), file.end(), uint8_t{'\n'});
            const size_t lineEnd = static_cast<size_t>(nl - file.begin());
            const bool last = std::string(file.begin() + static_cast<long>(dataStart), nl) == "% end";
            dataStart = lineEnd + 1;
            if (last) break;
        }
        events = test::straightDecode(data(), format);
        reader = std::make_unique<RawFileReader>(path);
        ASSERT_TRUE(reader->loadFile());
        reader->getStartTimeStamp(start);
        reader->getEndTimeStamp(end);
    }
    std::vector<uint8_t> data() const { return {file.begin() + static_cast<long>(dataStart), file.end()}; }

    // Cuts [from, to) and checks the file against the source: header, state words, a copy of a
    // contiguous range, and its events, straight and through a reader.
    void cutAndCheck(uint64_t from, uint64_t to)
    {
        SCOPED_TRACE("cut [" + std::to_string(from) + ", " + std::to_string(to) + ")");
        const std::string out = dir.file("cut.raw");
        ASSERT_TRUE(reader->extractEventData(from, to, out));
        const auto cut = test::readBytes(out);
        const size_t h = headerLength(cut);
        const std::string header(cut.begin(), cut.begin() + static_cast<long>(h));
        // Our fixed header with the source's geometry.
        const std::string ours = test::standardRawHeader(format);
        std::string tail = ours.substr(ours.find("% evt "));
        const std::string sw = std::to_string(reader->getWidth()), sh = std::to_string(reader->getHeight());
        tail.replace(tail.find("height = 720; width = 1280"), 26, "height = " + sh + "; width = " + sw);
        tail.replace(tail.find("1280x720"), 8, sw + "x" + sh);
        EXPECT_TRUE(std::regex_match(header, std::regex(std::string("% camera_integrator_name Prophesee\n% date "
                                                                    "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\n") +
                                                        tail)))
            << header;
        // EVT 3.0: TIME_HIGH, TIME_LOW and two state words; EVT 2.x: one TIME_HIGH word.
        const size_t unit = test::unitOf(format);
        const size_t prefixBytes = format == "EVT3" ? kPrefixBytes : unit;
        ASSERT_GT(cut.size(), h + prefixBytes);
        if (format == "EVT3") {
            EXPECT_EQ(cut[h + 1] >> 4, 0x8) << "starts with TIME_HIGH";
            EXPECT_EQ(cut[h + 3] >> 4, 0x6) << "then TIME_LOW";
        } else {
            EXPECT_EQ(cut[h + 3] >> 4, 0x8) << "starts with TIME_HIGH";
        }

        // The copy: a contiguous piece of the source data, starting at a word.
        const std::vector<uint8_t> src = data();
        const std::vector<uint8_t> copy(cut.begin() + static_cast<long>(h + prefixBytes), cut.end());
        const auto at = std::search(src.begin(), src.end(), copy.begin(), copy.end());
        ASSERT_NE(at, src.end()) << "the copied bytes are not a piece of the source";
        EXPECT_EQ((at - src.begin()) % static_cast<long>(unit), 0);

        // A cut to the end time takes everything to the end of the data (also events stamped past
        // the stream's last time, when its last TIME_LOW stepped back).
        const std::vector<Event2D> expected = inRange(events, from, to == end ? UINT64_MAX : to);
        const std::vector<uint8_t> cutData(cut.begin() + static_cast<long>(h), cut.end());
        expectSameModuloWrap(test::straightDecode(cutData, format), expected, test::timeWrapOf(format));

        RawFileReader again(out);
        ASSERT_TRUE(again.loadFile());
        EXPECT_STREQ(again.formatName(), reader->formatName());
        EXPECT_EQ(again.getWidth(), reader->getWidth());
        EXPECT_EQ(again.getHeight(), reader->getHeight());
        uint64_t max = 0;
        again.getMaxEvents(max);
        expectSameModuloWrap(*again.getNEvents(max), expected, test::timeWrapOf(format));
    }
};

class Quiet : public ::testing::Environment {
public:
    void SetUp() override { Logger::Instance().setMinLevel(LOG_LEVEL_ERROR); }
    void TearDown() override { Logger::Instance().setMinLevel(LOG_LEVEL_INFO); }
};

using test::StreamCase;
using test::inEveryFormat;

class CutStreams : public ::testing::TestWithParam<StreamCase> {};

TEST_P(CutStreams, RandomRangesGiveTheSourceEvents)
{
    Source s;
    const auto& shape = GetParam().shape;
    s.format = shape.format;
    s.write(test::standardRawHeader(shape.format), test::encodeStream(test::makeEvents(shape), shape));
    std::mt19937_64 rng(GetParam().shape.seed);
    s.cutAndCheck(s.start, s.end);
    for (int i = 0; i < 12; ++i) {
        uint64_t a = s.start + rng() % (s.end - s.start + 1);
        uint64_t b = s.start + rng() % (s.end - s.start + 1);
        if (a > b) std::swap(a, b);
        if (b - a < 50) continue;
        s.cutAndCheck(a, b);
    }
}

std::vector<StreamCase> streamCases()
{
    test::StreamShape plain;
    test::StreamShape vectors;
    vectors.rowRuns = true;
    vectors.seed = 2;
    test::StreamShape heartbeat;
    heartbeat.timeHighPeriodUs = 16;
    heartbeat.events = 20000;
    heartbeat.durationUs = 400000;
    heartbeat.seed = 3;
    test::StreamShape wrap;  // the range crosses the 24-bit wrap
    wrap.startUs = (1u << 24) - 100000;
    wrap.seed = 4;
    test::StreamShape late;  // starts past two wraps: the cut's times are 2^25 lower
    late.startUs = (uint64_t{1} << 25) + 123456;
    late.seed = 5;
    test::StreamShape backsteps = heartbeat;  // times stepping back a little, also at the cut's ends
    backsteps.backstepPercent = 20;
    backsteps.seed = 6;
    test::StreamShape backstepVectors = vectors;
    backstepVectors.backstepPercent = 10;
    return inEveryFormat({{"plain", plain}, {"vectors", vectors}, {"heartbeat", heartbeat}, {"wrap", wrap},
                          {"late", late}, {"backsteps", backsteps}, {"backstepVectors", backstepVectors}});
}

INSTANTIATE_TEST_SUITE_P(Generated, CutStreams, ::testing::ValuesIn(streamCases()),
                         [](const auto& p) { return p.param.name; });

// Hand-made words for a stream whose time moves on without a new ADDR_Y or VECT_BASE_X, as a
// sensor may send it: the cut must carry the row and the moved-on vector base over.
struct Words {
    std::vector<uint8_t> bytes;
    void add(uint32_t type, uint32_t payload)
    {
        bytes.push_back(static_cast<uint8_t>(payload & 0xFF));
        bytes.push_back(static_cast<uint8_t>((type << 4) | ((payload >> 8) & 0xF)));
    }
    void time(uint64_t t)
    {
        add(0x8, static_cast<uint32_t>(t >> 12) & 0xFFF);
        add(0x6, static_cast<uint32_t>(t) & 0xFFF);
    }
};

TEST(CutState, RowAndVectorBaseBeforeTheCutAreCarriedOver)
{
    struct Case {
        const char* name;
        void (*before)(Words&);  // words at time 100000
        void (*after)(Words&);   // words at time 150000, the cut's start
        size_t expectedEvents;
    };
    const std::vector<Case> cases = {
        {"row only",
         [](Words& w) {
             w.add(0x0, 5);
             w.add(0x2, 0x800 | 7);
         },
         [](Words& w) { w.add(0x2, 9); }, 1},
        {"base moved on by vectors",
         [](Words& w) {
             w.add(0x0, 300);
             w.add(0x3, 0x800 | 100);
             w.add(0x4, 0x00F);
             w.add(0x5, 0x03);
             w.add(0x0, 301);  // a new row keeps the base
         },
         [](Words& w) { w.add(0x4, 0x0F0); }, 4},
        {"base past the sensor and beyond 2047",
         [](Words& w) {
             w.add(0x0, 4);
             w.add(0x3, 2040);
             w.add(0x4, 0xFFF);
         },
         [](Words& w) {
             w.add(0x4, 0xFFF);  // off the sensor in the source too
             w.add(0x3, 10);
             w.add(0x5, 0x81);
         },
         2},
        {"no row ever: dropped in both", [](Words& w) { w.add(0x3, 50); },
         [](Words& w) {
             w.add(0x2, 1);
             w.add(0x4, 1);
         },
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Words w;
        // Bookmarks every 2 ms from 90 000 to 200 000, the interesting words in between.
        for (uint64_t t = 90000; t < 100000; t += 1000) w.time(t);
        w.time(100000);
        c.before(w);
        for (uint64_t t = 101000; t < 150000; t += 1000) w.time(t);
        w.add(0x6, 150000 & 0xFFF);  // TIME_LOW only: the time high stays, the row and base too
        c.after(w);
        for (uint64_t t = 151000; t <= 200000; t += 1000) w.time(t);
        Source s;
        s.write(test::standardRawHeader(), w.bytes);
        ASSERT_EQ(inRange(s.events, 150000, 151000).size(), c.expectedEvents);
        if (s.events.empty()) {
            // Cuts run from event to event: a range without any is refused, and no file made.
            EXPECT_FALSE(s.reader->extractEventData(149000, 180000, s.dir.file("cut.raw")));
            EXPECT_FALSE(std::filesystem::exists(s.dir.file("cut.raw")));
            continue;
        }
        s.cutAndCheck(150000, 151000);
        s.cutAndCheck(149000, 180000);
    }
}

TEST(CutRefusals, MessagesAndNoFile)
{
    Source s;
    test::StreamShape shape;
    shape.events = 20000;
    s.write(test::standardRawHeader(), test::encodeStream(test::makeEvents(shape), shape));
    const uint64_t mid = (s.start + s.end) / 2;
    fs::create_directory(s.dir.file("ro"));
    fs::permissions(s.dir.file("ro"), fs::perms::owner_read | fs::perms::owner_exec);
    struct Case {
        const char* name;
        uint64_t from, to;
        std::string out, message;
    };
    const std::vector<Case> cases = {
        {"start = end", mid, mid, s.dir.file("a.raw"), "There is no data in the interval."},
        {"end beyond the recording", s.start, s.end + 1, s.dir.file("b.raw"), "No end timestamp found."},
        {"start before the recording", s.start - 1, mid, s.dir.file("c.raw"), "No start timestamp found."},
        {"start after end", mid + 20000, mid, s.dir.file("d.raw"),
         "Start time must be less than or equal to end time."},
        {"unwritable folder", s.start, mid, s.dir.file("ro/e.raw"),
         "Failed to open output file: " + s.dir.file("ro/e.raw") + "."},
        {"missing folder", s.start, mid, s.dir.file("none/f.raw"),
         "Failed to open output file: " + s.dir.file("none/f.raw") + "."},
        {"over its own input", s.start, mid, s.dir.file("rec.raw"),
         "Failed to open output file: " + s.dir.file("rec.raw") + "."},
    };
    const auto original = test::readBytes(s.dir.file("rec.raw"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.name == std::string("unwritable folder") && ::geteuid() == 0) continue;  // root writes anyway
        std::string log;
        {
            LogCapture capture(s.dir);
            EXPECT_FALSE(s.reader->extractEventData(c.from, c.to, c.out));
            log = capture.text();
        }
        EXPECT_NE(log.find(c.message), std::string::npos) << log;
        EXPECT_EQ(strayFiles(s.dir), (std::vector<std::string>{"ro"}));
        EXPECT_TRUE(fs::is_empty(s.dir.file("ro")));
    }
    EXPECT_EQ(test::readBytes(s.dir.file("rec.raw")), original);
    // A refusal leaves an existing file of that name alone; a later cut replaces it.
    test::writeBytes(s.dir.file("old.raw"), "old", {});
    EXPECT_FALSE(s.reader->extractEventData(mid, mid, s.dir.file("old.raw")));
    EXPECT_EQ(test::readBytes(s.dir.file("old.raw")).size(), 3u);
    EXPECT_TRUE(s.reader->extractEventData(s.start, mid, s.dir.file("old.raw")));
    EXPECT_GT(test::readBytes(s.dir.file("old.raw")).size(), 3u);
}

TEST(CutProgress, RisesToOneAndTheReaderReadsOnFromTheStart)
{
    Source s;
    test::StreamShape shape;
    shape.events = 400000;
    shape.durationUs = 2000000;
    s.write(test::standardRawHeader(), test::encodeStream(test::makeEvents(shape), shape));
    std::vector<double> seen;
    s.reader->setProgressCallback([&seen](double f) { seen.push_back(f); });
    const uint64_t from = s.start + 100000;
    ASSERT_TRUE(s.reader->extractEventData(from, s.end - 100000, s.dir.file("cut.raw")));
    ASSERT_GE(seen.size(), 2u);  // more than 1 MiB: one report per piece, then the end
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 1.0);
    // Without a new seek, reading continues at the cut's start, with the right rows.
    const auto expected = inRange(s.events, from, from + 5000);
    EXPECT_EQ(*s.reader->getNTimeEvents(5000), expected);
}

class RealCuts : public ::testing::TestWithParam<const char*> {};

TEST_P(RealCuts, WholeAndPartsGiveTheSourceEvents)
{
    Source s;
    const std::string copy = s.dir.file("rec.raw");
    fs::copy_file(std::string(ORVANE_SHARED_DATA_DIR) + "/" + GetParam(), copy);
    s.open(copy);
    s.cutAndCheck(s.start, s.end);
    const uint64_t span = s.end - s.start;
    s.cutAndCheck(s.start + span / 3, s.start + 2 * span / 3);
    std::mt19937_64 rng(7);
    for (int i = 0; i < 5; ++i) {
        const uint64_t a = s.start + rng() % span;
        s.cutAndCheck(a, std::min(s.end, a + 1 + rng() % 200000));
    }
}

INSTANTIATE_TEST_SUITE_P(SharedData, RealCuts,
                         ::testing::Values("eccodecs_evt3_trigger.raw", "ecpy_test_events_1.raw"),
                         [](const auto& p) { return std::string(p.index == 0 ? "eccodecs" : "ecpy"); });

// ---- export ----

std::vector<uint64_t> videoTimes(const std::string& path)
{
    Mp4FileReader video(path);
    std::vector<uint64_t> times;
    if (!video.loadFile()) return times;
    video.getTimeStamps(times);
    return times;
}

size_t nonEmptySlices(const std::vector<Event2D>& events, uint64_t from, uint64_t to)
{
    size_t n = 0;
    for (uint64_t t = from; t < to; t += 33333) n += !inRange(events, t, t + 33333).empty();
    return n;
}

std::vector<uint64_t> frameTimes(size_t n)
{
    std::vector<uint64_t> times;
    for (size_t i = 0; i < n; ++i) times.push_back(i * 33333);
    return times;
}

TEST(Export, OneFramePerNonEmptySliceAndPausesAreSkipped)
{
    // Active for 0.2 s, a 0.5 s pause (time words only), active again for 0.2 s.
    test::StreamShape shape;
    shape.startUs = 1000000;
    shape.events = 4000;
    shape.durationUs = 200000;
    auto first = test::makeEvents(shape);
    shape.startUs = 1700000;
    shape.seed = 9;
    const auto second = test::makeEvents(shape);
    first.insert(first.end(), second.begin(), second.end());
    Source s;
    s.write(test::standardRawHeader(), test::encodeStream(first, shape));
    const uint64_t last = s.events.back().timestamp;
    ASSERT_GT(last - s.start, 800000u);

    const std::string out = s.dir.file("out.mp4");
    std::vector<double> progress;
    s.reader->setProgressCallback([&progress](double f) { progress.push_back(f); });
    ASSERT_TRUE(s.reader->exportEventDataToVideo(s.start, s.end, out));
    const size_t frames = nonEmptySlices(s.events, s.start, s.end + 1);
    EXPECT_LT(frames, (s.end - s.start) / 33333 - 10) << "the pause has no frames";
    EXPECT_EQ(videoTimes(out), frameTimes(frames));
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 1.0);
    EXPECT_EQ(strayFiles(s.dir), (std::vector<std::string>{"out.mp4"}));

    // A range inside: slices counted from its own start.
    const uint64_t from = s.start + 150000, to = s.start + 750000;
    ASSERT_TRUE(s.reader->exportEventDataToVideo(from, to, out));
    EXPECT_EQ(videoTimes(out), frameTimes(nonEmptySlices(s.events, from, to)));
}

// A stream whose time runs ahead by weeks through TIME_HIGH wraps between two short bursts: the
// export's work follows the data (two frames), not the span (some 50 million empty slices).
TEST(Export, WeeksOfEmptyTimeAreSkippedNotSteppedThrough)
{
    test::StreamShape shape;
    shape.startUs = 1000000;
    shape.events = 300;
    shape.durationUs = 10000;
    Evt3Encoder::Options options;
    options.useVectors = false;
    Evt3Encoder encoder(options);
    std::vector<uint8_t> data;
    const auto burst = test::makeEvents(shape);
    encoder.encode(burst, data);
    // TIME_HIGH words 2047 steps apart (the longest step forward): the 24-bit time wraps about
    // every other word.
    auto put = [&](uint32_t h) {
        const uint32_t w = 0x8000 | (h & 0xFFF);
        data.push_back(static_cast<uint8_t>(w));
        data.push_back(static_cast<uint8_t>(w >> 8));
    };
    const uint32_t burst_high = static_cast<uint32_t>(burst.front().timestamp >> 12) & 0xFFF;
    uint32_t h = static_cast<uint32_t>(burst.back().timestamp >> 12);
    for (int i = 0; i < 140000; ++i) put(h += 0x7FF);
    // Then forward to the burst's own TIME_HIGH, which the second burst starts with.
    while (((burst_high - h) & 0xFFF) >= 0x800) put(h += 0x400);
    encoder.reset();
    std::vector<Event2D> late = burst;
    std::vector<uint8_t> tail;
    encoder.encode(late, tail);  // the same burst, now far later in time
    data.insert(data.end(), tail.begin(), tail.end());
    Source s;
    s.write(test::standardRawHeader(), data);
    ASSERT_EQ(s.events.size(), 2 * burst.size());
    ASSERT_GT(s.end - s.start, uint64_t{1} << 40);

    const std::string out = s.dir.file("out.mp4");
    ASSERT_TRUE(s.reader->exportEventDataToVideo(s.start, s.end, out));
    EXPECT_EQ(videoTimes(out), frameTimes(2));
}

TEST(Export, ExactlyOneSecondOfActivityGives31Frames)
{
    test::StreamShape shape;
    shape.events = 30000;
    shape.durationUs = 1300000;
    std::vector<Event2D> events;
    for (uint64_t t = 2000000; t < 3300000; t += 50)
        events.emplace_back(uint16_t(t % 1280), uint16_t(t % 720), uint8_t(1), t);
    Source s;
    s.write(test::standardRawHeader(), test::encodeStream(events, shape));
    ASSERT_TRUE(s.reader->exportEventDataToVideo(2100000, 3100000, s.dir.file("out.mp4")));
    EXPECT_EQ(videoTimes(s.dir.file("out.mp4")).size(), 31u);
}

// BGR of the pixel (x, y) of the first frame.
std::array<int, 3> firstFramePixel(Mp4FileReader& video, int x, int y)
{
    ApsFrame frame;
    EXPECT_TRUE(video.getNFrame(0, frame));
    const uint8_t* p = frame.data + (static_cast<size_t>(y) * video.getWidth() + x) * 3;
    return {p[0], p[1], p[2]};
}

void expectNear(std::array<int, 3> got, std::array<int, 3> want, int tolerance)
{
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], want[c], tolerance) << "channel " << c;
}

TEST(Export, FirstFrameHasTheRenderingColours)
{
    // 640 x 480 in the header: the decoder still delivers x up to 1279, which the image must ignore.
    std::vector<Event2D> events;
    const uint64_t t0 = 500000;
    for (uint16_t y = 100; y < 132; ++y) {
        for (uint16_t x = 100; x < 132; ++x) events.emplace_back(x, y, uint8_t(1), t0 + y);
        for (uint16_t x = 300; x < 332; ++x) events.emplace_back(x, y, uint8_t(0), t0 + y);
        for (uint16_t x = 640; x < 700; ++x) events.emplace_back(x, y, uint8_t(1), t0 + y);  // off the image
    }
    for (uint16_t y = 480; y < 500; ++y) events.emplace_back(uint16_t(10), y, uint8_t(1), t0 + 200);
    for (uint64_t t = t0 + 40000; t < t0 + 200000; t += 1000)
        events.emplace_back(uint16_t(1), uint16_t(1), uint8_t(0), t);
    std::sort(events.begin(), events.end(),
              [](const Event2D& a, const Event2D& b) { return a.timestamp < b.timestamp; });
    Source s;
    test::StreamShape shape;
    s.write("% format EVT3;height=480;width=640\n% end\n", test::encodeStream(events, shape));
    ASSERT_EQ(s.reader->getWidth(), 640);
    ASSERT_TRUE(s.reader->exportEventDataToVideo(s.start, s.end, s.dir.file("out.mp4")));

    Mp4FileReader video(s.dir.file("out.mp4"));
    ASSERT_TRUE(video.loadFile());
    EXPECT_EQ(video.getWidth(), 640);
    EXPECT_EQ(video.getHeight(), 480);
    expectNear(firstFramePixel(video, 115, 115), {180, 188, 191}, 8);
    expectNear(firstFramePixel(video, 315, 115), {51, 61, 64}, 8);
    expectNear(firstFramePixel(video, 500, 300), {112, 112, 112}, 4);
    expectNear(firstFramePixel(video, 10, 470), {112, 112, 112}, 4);  // rows past 479 are not painted
}

TEST(Export, FailuresLeaveNoFile)
{
    Source s;
    test::StreamShape shape;
    shape.events = 5000;
    s.write(test::standardRawHeader(), test::encodeStream(test::makeEvents(shape), shape));
    std::string log;
    {
        LogCapture capture(s.dir);
        EXPECT_FALSE(s.reader->exportEventDataToVideo(s.start, s.end, s.dir.file("missing/out.mp4")));
        EXPECT_FALSE(s.reader->exportEventDataToVideo(s.start, s.end, s.dir.file("rec.raw")));
        log = capture.text();
    }
    const std::string message =
        "Video converter initialization failed, please confirm that the input file is correct.";
    const size_t first = log.find(message);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find(message, first + 1), std::string::npos) << "over its own input: refused";
    EXPECT_TRUE(strayFiles(s.dir).empty());
    // The input survives and still reads.
    RawFileReader again(s.dir.file("rec.raw"));
    EXPECT_TRUE(again.loadFile());
}

// A cancel (Ctrl-C in the CLI, KeyboardInterrupt in Python) set from another thread while a cut or
// an export runs stops it: no output, no part file, the reason says so; part files that writers
// now gone left beside the output are removed by the next job on it.
TEST(CutExportCancel, ACancelledJobLeavesNoFileAndStalePartFilesGo)
{
    Source s;
    test::StreamShape shape;
    shape.events = 400000;
    shape.durationUs = 2000000;
    s.write(test::standardRawHeader(), test::encodeStream(test::makeEvents(shape), shape));
    std::atomic<bool> cancel{false};
    // Through the reader interface, as the viewer holds it.
    DvsFileReader& reader = *s.reader;
    reader.setCancelFlag(&cancel);
    reader.setProgressCallback([&cancel](double f) {
        if (f > 0 && f < 1) cancel = true;  // as a signal arriving mid-way would
    });
    EXPECT_FALSE(reader.extractEventData(s.start, s.end, s.dir.file("cut.raw")));
    EXPECT_EQ(reader.lastError().kind, RecordingError::Kind::Cancelled);
    EXPECT_NE(reader.lastError().message.find("cancelled"), std::string::npos);
    cancel = false;
    EXPECT_FALSE(reader.exportEventDataToVideo(s.start, s.end, s.dir.file("out.mp4")));
    EXPECT_EQ(reader.lastError().kind, RecordingError::Kind::Cancelled);
    EXPECT_TRUE(strayFiles(s.dir).empty());

    // A part file of a process that is gone (a child that has exited), and one of a live process.
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    const std::string stale = s.dir.file("cut.raw.part" + std::to_string(child) + ".raw");
    const std::string live = s.dir.file("cut.raw.part1.raw");  // init never goes away
    test::writeBytes(stale, "", {1, 2, 3});
    test::writeBytes(live, "", {1, 2, 3});
    s.reader->setCancelFlag(nullptr);
    s.reader->setProgressCallback(nullptr);
    ASSERT_TRUE(s.reader->extractEventData(s.start, s.end, s.dir.file("cut.raw")));
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(live));
}

const auto* const quiet = ::testing::AddGlobalTestEnvironment(new Quiet);

}  // namespace
}  // namespace orvane
