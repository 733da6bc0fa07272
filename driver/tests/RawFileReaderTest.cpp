// Loading raw files: the factory, the header rules, and the bookmark index beside the recording
// (built, reused, rejected and rebuilt, written nowhere it must not be, counts past 2^32).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <regex>
#include <stdexcept>

#include "RawFileTestSupport.h"
#include "orvane/base/Logger.h"
#include "orvane/driver/RawFileReader.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::vector<uint8_t> smallStream(uint32_t seed = 3)
{
    test::StreamShape shape;
    shape.events = 5000;
    shape.durationUs = 50000;
    shape.seed = seed;
    return test::encodeStream(test::makeEvents(shape), shape);
}

std::vector<Event2D> readAll(RawFileReader& reader)
{
    std::vector<Event2D> all;
    reader.seekNEvents(0);
    uint64_t max = 0;
    reader.getMaxEvents(max);
    while (reader.getCurrentPosEventNum() < max) {
        auto part = reader.getNEvents(std::min<uint64_t>(777, max - reader.getCurrentPosEventNum()));
        if (part->empty()) break;
        all.insert(all.end(), part->begin(), part->end());
    }
    return all;
}

TEST(DvsFileReaderFactory, PicksTheReaderByTheLastExtension)
{
    EXPECT_NE(DvsFileReader::createFileReader("rec.raw"), nullptr);
    EXPECT_NE(DvsFileReader::createFileReader("/a.b/rec.raw"), nullptr);
    for (const char* path : {"rec.RAW", "rec.dat", "rec", "d.raw/x", "rec.raw.bak"}) {
        EXPECT_EQ(DvsFileReader::createFileReader(path), nullptr) << path;
    }
}

// Through the interface alone: a raw reader gives its own reasons; a reader that keeps none still
// opens with one (the default), and one that throws does not throw out of open.
TEST(DvsFileReaderFactory, OpenGivesAReasonThroughTheInterface)
{
    TempDir dir;
    const std::unique_ptr<DvsFileReader> missing = DvsFileReader::createFileReader(dir.file("none.raw"));
    ASSERT_NE(missing, nullptr);
    const RecordingError error = missing->open();
    EXPECT_EQ(error.kind, RecordingError::Kind::NotFound);
    EXPECT_NE(error.message.find("none.raw"), std::string::npos) << error.message;
    EXPECT_EQ(missing->lastError().kind, RecordingError::Kind::NotFound);

    struct Plain : DvsFileReader {
        enum { Fails, Throws, Empty, Loads } how = Fails;
        bool loadFile() override
        {
            if (how == Throws) throw std::runtime_error("device gone");
            return how != Fails;
        }
        bool getStartTimeStamp(uint64_t& t) override { return t = 0, true; }
        bool getEndTimeStamp(uint64_t& t) override { return t = 0, true; }
        bool getMaxEvents(uint64_t& n) override { return n = how == Loads ? 1 : 0, true; }
        bool reachedEndOfEvents() override { return true; }
        bool seekTime(uint64_t) override { return false; }
        bool seekNEvents(uint64_t) override { return false; }
        uint64_t getCurrentPosTimeStamp() override { return 0; }
        uint64_t getCurrentPosEventNum() override { return 0; }
        std::shared_ptr<std::vector<Event2D>> getNEvents(uint64_t) override { return {}; }
        std::shared_ptr<std::vector<Event2D>> getNEventsGivenStartTimeStamp(uint64_t, uint64_t) override { return {}; }
        std::shared_ptr<std::vector<Event2D>> getNEventsGivenStartEvent(uint64_t, uint64_t) override { return {}; }
        std::shared_ptr<std::vector<Event2D>> getNTimeEvents(uint64_t) override { return {}; }
        std::shared_ptr<std::vector<Event2D>> getNTimeEventsGivenStartTimeStamp(uint64_t, uint64_t) override { return {}; }
        std::shared_ptr<std::vector<Event2D>> getNTimeEventsGivenStartEvent(uint64_t, uint64_t) override { return {}; }
        bool extractEventData(uint64_t, uint64_t, std::string) override { return false; }
        bool exportEventDataToVideo(uint64_t, uint64_t, std::string) override { return false; }
        uint16_t getWidth() const override { return 1280; }
        uint16_t getHeight() const override { return 720; }
    } plain;
    EXPECT_EQ(plain.open().kind, RecordingError::Kind::Io);
    EXPECT_FALSE(plain.open().message.empty());
    plain.how = Plain::Throws;
    EXPECT_NE(plain.open().message.find("device gone"), std::string::npos);
    plain.how = Plain::Empty;
    EXPECT_EQ(plain.open().kind, RecordingError::Kind::NoEvents);
    plain.how = Plain::Loads;
    EXPECT_FALSE(plain.open());
    EXPECT_FALSE(plain.lastError());
    std::atomic<bool> cancel{true};
    plain.setCancelFlag(&cancel);  // ignored by a reader that cannot stop part-way
    plain.setProgressCallback([](double) {});
}

struct HeaderCase {
    const char* name;
    std::string header;
    bool loads;
    uint16_t width, height;
    const char* reason;  // the reason a refusal gives (after the file's name), or nullptr
};

TEST(RawFileHeader, Table)
{
    const std::vector<HeaderCase> cases = {
        {"format pieces without spaces", "% format EVT3;height=480;width=640\n% end\n", true, 640, 480, nullptr},
        {"our writers' header: geometry wins", test::standardRawHeader(), true, 1280, 720, nullptr},
        {"spaced keys are ignored", "% format EVT3; height = 480; width = 640\n% end\n", true, 1280, 720, nullptr},
        {"later line overrides", "% geometry 640x480\n% format EVT3;width=320\n% end\n", true, 320, 480, nullptr},
        {"no size line", "% evt 3.0\n% end\n", true, 1280, 720, nullptr},
        {"no header at all", "", true, 1280, 720, nullptr},
        {"header ends at first non-% line", "% geometry 640x480\n", true, 640, 480, nullptr},
        {"CRLF end does not end the header", "% end\r\n% geometry 320x240\n% end\n", true, 320, 240, nullptr},
        {"CRLF lines are read without their CR", "% evt 3.0\r\n% geometry 640x480\r\n% end\n", true, 640, 480,
         nullptr},
        {"format line only", "% format EVT3\n% end\n", true, 1280, 720, nullptr},
        {"an encoding we do not read", "% evt 4.0\n% end\n", false, 0, 0,
         " is an EVT 4.0 recording; Orvane reads EVT 2.0, 2.1 and 3.0"},
        {"a format we do not read", "% format EVT2.1;height=480\n% end\n", false, 0, 0,
         " is an EVT2.1 recording; Orvane reads EVT 2.0, 2.1 and 3.0"},
        {"two encodings", "% evt 3.0\n% format EVT2;height=480\n% end\n", false, 0, 0,
         ": its header names both EVT 3.0 and EVT 2.0"},
    };
    const std::vector<uint8_t> data = smallStream();
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        test::writeBytes(dir.file("r.raw"), c.header, data);
        RawFileReader reader(dir.file("r.raw"));
        const bool loaded = reader.loadFile();
        ASSERT_EQ(loaded, c.loads);
        if (c.reason) {
            EXPECT_EQ(reader.lastError().message, "'" + dir.file("r.raw") + "'" + c.reason);
            EXPECT_FALSE(fs::exists(dir.file("r.ovmark.tmp")));
        }
        if (!c.loads) continue;
        EXPECT_STREQ(reader.formatName(), "EVT 3.0");
        EXPECT_EQ(reader.getWidth(), c.width);
        EXPECT_EQ(reader.getHeight(), c.height);
        EXPECT_EQ(reader.getCurrentPosEventNum(), 0u);
        uint64_t start = 0;
        reader.getStartTimeStamp(start);
        EXPECT_EQ(reader.getCurrentPosTimeStamp(), start);
        // The data starts right after the header: every event on the sensor comes back, the others
        // are counted.
        const std::vector<Event2D> expected = test::straightDecode(data, "EVT3", c.width, c.height);
        EXPECT_EQ(readAll(reader), expected);
        EXPECT_EQ(reader.offSensorEvents(), test::straightDecode(data).size() - expected.size());
    }
}

// A file whose header names no encoding (none at all, or only a size) is read in the encoding its
// words tell; words that fit none are refused with the share no encoding uses.
TEST(RawFileHeader, WithoutAnEncodingTheWordsTellIt)
{
    for (const std::string format : {"EVT3", "EVT2", "EVT21"}) {
        for (const bool vectors : {false, true}) {
            test::StreamShape shape;
            shape.events = 20000;
            shape.durationUs = 100000;
            shape.rowRuns = vectors;
            shape.timeHighPeriodUs = 16;
            shape.format = format;
            const std::vector<uint8_t> data = test::encodeStream(test::makeEvents(shape), shape);
            for (const char* header : {"", "% geometry 1280x720\n", "% geometry 1280x720\n% end\n"}) {
                SCOPED_TRACE(format + (vectors ? " runs, header '" : ", header '") + header + "'");
                TempDir dir;
                test::writeBytes(dir.file("r.raw"), header, data);
                RawFileReader reader(dir.file("r.raw"));
                ASSERT_TRUE(reader.loadFile()) << reader.lastError().message;
                EXPECT_EQ(reader.formatName(), std::string("EVT ") + test::evtValueOf(format));
                EXPECT_EQ(readAll(reader), test::straightDecode(data, format));
            }
        }
    }
    TempDir dir;
    std::mt19937 rng(9);
    std::vector<uint8_t> noise(100000);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(rng());
    test::writeBytes(dir.file("x.raw"), "", noise);
    RawFileReader reader(dir.file("x.raw"));
    EXPECT_FALSE(reader.loadFile());
    EXPECT_EQ(reader.lastError().kind, RecordingError::Kind::NotEventData);
    EXPECT_TRUE(std::regex_match(reader.lastError().message,
                                 std::regex("'.*x\\.raw' does not look like event data: [0-9]+ % of its first 64 KiB "
                                            "are words no EVT encoding uses")))
        << reader.lastError().message;
    EXPECT_FALSE(fs::exists(dir.file("x.ovmark.tmp")));
}

TEST(RawFileHeader, MalformedNumbersRaiseTheStandardConversionErrors)
{
    const std::vector<uint8_t> data = smallStream();
    TempDir dir;
    for (const char* header : {"% geometry abcx480\n% end\n", "% format EVT3;width=wide\n% end\n"}) {
        test::writeBytes(dir.file("r.raw"), header, data);
        RawFileReader reader(dir.file("r.raw"));
        EXPECT_THROW(reader.loadFile(), std::invalid_argument) << header;
    }
    test::writeBytes(dir.file("r.raw"), "% geometry 99999999999x480\n% end\n", data);
    RawFileReader reader(dir.file("r.raw"));
    EXPECT_THROW(reader.loadFile(), std::out_of_range);
}

// EVT 3.0 addresses 11 bits: sizes that would be cut to 16 bits, negative, zero or half missing
// are refused with a clear error rather than read as some other size.
TEST(RawFileHeader, GeometryOutsideWhatTheFormatAddressesIsAnError)
{
    const std::vector<uint8_t> data = smallStream();
    TempDir dir;
    for (const char* header : {"% geometry 99999x99999\n% end\n", "% geometry -640x-480\n% end\n", "% geometry 0x0\n% end\n",
                               "% geometry 640\n% end\n", "% format EVT3;width=67584;height=480\n% end\n",
                               "% geometry 2049x720\n% end\n"}) {
        SCOPED_TRACE(header);
        test::writeBytes(dir.file("r.raw"), header, data);
        RawFileReader reader(dir.file("r.raw"));
        try {
            reader.loadFile();
            ADD_FAILURE() << "loaded";
        } catch (const std::out_of_range& e) {
            EXPECT_NE(std::string(e.what()).find("geometry"), std::string::npos) << e.what();
        }
        EXPECT_FALSE(fs::exists(dir.file("r.ovmark.tmp")));
    }
    test::writeBytes(dir.file("r.raw"), "% geometry 2048x2048\n% end\n", data);
    RawFileReader largest(dir.file("r.raw"));
    ASSERT_TRUE(largest.loadFile());
    EXPECT_EQ(largest.getWidth(), 2048);
    EXPECT_EQ(largest.getHeight(), 2048);
}

TEST(RawFileHeader, MissingFileFailsSilently)
{
    TempDir dir;
    RawFileReader reader(dir.file("none.raw"));
    EXPECT_FALSE(reader.loadFile());
    EXPECT_FALSE(fs::exists(dir.file("none.ovmark.tmp")));
}

// An index file's layout, for tests that edit its records: the text, a NUL, the record count N
// (8 bytes), N records of 29 bytes (key, position, reserved byte, time, 32-bit count), the CRC.
struct IndexLayout {
    size_t body = 0;  // where N is
    uint64_t records = 0;
    explicit IndexLayout(const std::vector<uint8_t>& index)
        : body(static_cast<size_t>(std::find(index.begin(), index.end(), uint8_t{0}) - index.begin()) + 1)
    {
        if (body + 8 <= index.size()) std::memcpy(&records, index.data() + body, 8);
    }
    uint8_t* record(std::vector<uint8_t>& index, uint64_t i) const { return index.data() + body + 8 + i * 29; }
};
uint64_t get64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
uint32_t get32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
void put64(uint8_t* p, uint64_t v)
{
    std::memcpy(p, &v, 8);
}
void put32(uint8_t* p, uint32_t v)
{
    std::memcpy(p, &v, 4);
}

class RawFileIndex : public ::testing::Test {
protected:
    void SetUp() override
    {
        data_ = smallStream(7);
        expected_ = test::straightDecode(data_);
        path_ = dir_.file("rec.raw");
        test::writeBytes(path_, test::standardRawHeader(), data_);
    }

    struct Totals {
        uint64_t start = 0, end = 0, events = 0;
        bool reused = false;
        friend bool operator==(const Totals& a, const Totals& b)
        {
            return a.start == b.start && a.end == b.end && a.events == b.events;
        }
    };
    Totals open(std::string* err = nullptr)
    {
        RawFileReader reader(path_);
        if (err) testing::internal::CaptureStderr();
        const bool ok = reader.loadFile();
        if (err) *err = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(ok);
        Totals t;
        reader.getStartTimeStamp(t.start);
        reader.getEndTimeStamp(t.end);
        reader.getMaxEvents(t.events);
        t.reused = reader.indexReused();
        EXPECT_EQ(readAll(reader), expected_);
        return t;
    }
    std::string indexPath() const { return dir_.file("rec.ovmark.tmp"); }

    TempDir dir_;
    std::vector<uint8_t> data_;
    std::vector<Event2D> expected_;
    std::string path_;
};

TEST_F(RawFileIndex, BuiltOnceThenReused)
{
    const Totals first = open();
    EXPECT_FALSE(first.reused);
    ASSERT_TRUE(fs::exists(indexPath()));
    EXPECT_FALSE(fs::exists(indexPath() + ".part"));
    EXPECT_EQ(first.events, expected_.size());
    EXPECT_EQ(first.start, 5000000u >> 12 << 12);  // the first TIME_HIGH
    const auto bytes = test::readBytes(indexPath());
    const Totals second = open();
    EXPECT_TRUE(second.reused);
    EXPECT_EQ(second, first);
    EXPECT_EQ(test::readBytes(indexPath()), bytes);  // reuse does not rewrite it

    // Layout: the three text lines, two more that identify the recording and the count of events
    // off the sensor (decimal values, so any
    // reader of the format parses and ignores them), 0x00, N, 29-byte records, CRC-8 of all before it.
    const std::string known = "max_byte:" + std::to_string(fs::file_size(path_)) +
                              "\nsensor_width:1280\nsensor_height:720\n";
    const std::string text(bytes.begin(), std::find(bytes.begin(), bytes.end(), uint8_t{0}));
    EXPECT_EQ(text.substr(0, known.size()), known);
    EXPECT_TRUE(std::regex_match(text.substr(known.size()), std::regex("raw_mtime_ns:\\d+\nraw_edges_hash:\\d+\noff_sensor_events:0\n")))
        << text;
    uint64_t n = 0;
    std::memcpy(&n, bytes.data() + text.size() + 1, 8);
    EXPECT_EQ(bytes.size(), text.size() + 1 + 8 + n * 29 + 1);
    EXPECT_EQ(test::referenceCrc8(bytes.data(), bytes.size() - 1), bytes.back());
    const char check[] = "123456789";
    EXPECT_EQ(test::referenceCrc8(reinterpret_cast<const uint8_t*>(check), 9), 0xF4);
}

TEST_F(RawFileIndex, RejectedIndexesAreRebuilt)
{
    Logger::Instance().setMinLevel(LOG_LEVEL_INFO);  // "The file has changed" is an information line
    const Totals good = open();
    const auto original = test::readBytes(indexPath());
    struct Case {
        const char* name;
        std::vector<uint8_t> content;
        const char* stderrText;
    };
    std::vector<Case> cases;
    for (size_t at : {size_t{0}, size_t{5}, original.size() / 2, original.size() - 1}) {
        auto flipped = original;
        flipped[at] ^= 0x10;
        cases.push_back({"one byte flipped", flipped, "The file has changed"});
    }
    {
        // A valid CRC over a wrong size: the key test fails.
        std::string s(original.begin(), original.end() - 1);
        s.replace(0, s.find('\n'), "max_byte:12");
        std::vector<uint8_t> v(s.begin(), s.end());
        v.push_back(test::referenceCrc8(v.data(), v.size()));
        cases.push_back({"size mismatch", v, nullptr});
    }
    cases.push_back({"single zero byte", {0}, nullptr});
    cases.push_back({"empty", {}, "The file content is insufficient to perform CRC validation!"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeBytes(indexPath(), "", c.content);
        std::string err;
        const Totals t = open(&err);
        EXPECT_FALSE(t.reused);
        EXPECT_EQ(t, good);
        if (c.stderrText) {
            EXPECT_NE(err.find(c.stderrText), std::string::npos) << err;
        }
        EXPECT_EQ(test::readBytes(indexPath()), original);
    }
    // Larger than the limit: not even read.
    {
        std::ofstream(indexPath(), std::ios::binary | std::ios::trunc).write("x", 1);
        fs::resize_file(indexPath(), fs::file_size(path_) + 8192);
        EXPECT_FALSE(open().reused);
        EXPECT_EQ(test::readBytes(indexPath()), original);
    }
}

TEST_F(RawFileIndex, UnwritableIndexStillOpensFromMemory)
{
    if (geteuid() == 0) {
        // Permissions do not stop root: a folder where the index would go does.
        fs::create_directory(indexPath());
    } else {
        fs::permissions(dir_.path(), fs::perms::owner_read | fs::perms::owner_exec);
    }
    Logger::Instance().setMinLevel(LOG_LEVEL_INFO);
    std::string err;
    const Totals t = open(&err);
    EXPECT_FALSE(t.reused);
    EXPECT_EQ(t.events, expected_.size());
    // A folder we may not write to is normal (shared data): one information line, no error.
    if (geteuid() != 0) {
        EXPECT_EQ(err.find("[ERROR]"), std::string::npos) << err;
        EXPECT_NE(err.find("Index not saved"), std::string::npos) << err;
    }
    EXPECT_FALSE(fs::exists(indexPath() + ".part"));
    EXPECT_FALSE(fs::is_regular_file(indexPath()));
}

TEST_F(RawFileIndex, PathWithoutRawNeverOverwritesItsInput)
{
    const std::string other = dir_.file("rec.bin");
    fs::copy_file(path_, other);
    const auto before = test::readBytes(other);
    RawFileReader reader(other);
    EXPECT_EQ(reader.getIndexPath(), other + ".ovmark.tmp");
    ASSERT_TRUE(reader.loadFile());
    EXPECT_EQ(test::readBytes(other), before);
    EXPECT_EQ(readAll(reader), expected_);
}

// Indexes whose checksum matches but whose records lie (1 in 256 random corruptions passes a
// CRC-8): each is rebuilt and replaced, and the recording reads whole.
TEST_F(RawFileIndex, RecordsThatBreakTheInvariantsAreRebuilt)
{
    const Totals good = open();
    const auto original = test::readBytes(indexPath());
    const IndexLayout layout(original);
    const size_t body = layout.body;
    const uint64_t n = layout.records;
    ASSERT_GE(n, 6u);
    auto record = [&](std::vector<uint8_t>& v, uint64_t i) { return layout.record(v, i); };
    using Edit = std::function<void(std::vector<uint8_t>&)>;
    const std::vector<std::pair<const char*, Edit>> cases = {
        {"one record's count zeroed (no events at every open)", [&](auto& v) { put32(record(v, n - 1) + 25, 0); }},
        {"count wrapped to 2^32 - 1", [&](auto& v) { put32(record(v, n - 1) + 25, 0xFFFFFFFFu); }},
        {"half the records dropped (cut short)",
         [&](auto& v) {
             put64(v.data() + body, n / 2);
             v.resize(body + 8 + (n / 2) * 29 + 1);
         }},
        {"key and timestamp differ", [&](auto& v) { put64(record(v, 2) + 17, 1); }},
        {"last not at the end of the data", [&](auto& v) { put64(record(v, n - 1) + 8, 100); }},
        {"first not at the data start", [&](auto& v) { put64(record(v, 0) + 8, 300); }},
        {"position past the file", [&](auto& v) { put64(record(v, 2) + 8, uint64_t{1} << 40); }},
        {"times out of order",
         [&](auto& v) {
             std::vector<uint8_t> r1(record(v, 1), record(v, 1) + 29);
             std::copy(record(v, 2), record(v, 2) + 29, record(v, 1));
             std::copy(r1.begin(), r1.end(), record(v, 2));
         }},
        {"last time 2^64 - 1",
         [&](auto& v) {
             put64(record(v, n - 1), ~uint64_t{0});
             put64(record(v, n - 1) + 17, ~uint64_t{0});
         }},
        {"more records than N says", [&](auto& v) { put64(v.data() + body, n - 1); }},
        {"a text value that is not a number",
         [&](auto& v) {
             const std::string bad = "max_byte:12x\n";
             v.insert(v.begin(), bad.begin(), bad.end());
         }},
        {"no key identifying the recording",
         [&](auto& v) {
             const std::string text(v.begin(), v.begin() + static_cast<long>(body) - 1);
             const size_t keep = text.find("raw_mtime_ns");
             v.erase(v.begin() + static_cast<long>(keep), v.begin() + static_cast<long>(body) - 1);
         }},
    };
    for (const auto& [name, edit] : cases) {
        SCOPED_TRACE(name);
        auto bytes = original;
        bytes.pop_back();
        edit(bytes);
        bytes.push_back(test::referenceCrc8(bytes.data(), bytes.size()));
        test::writeBytes(indexPath(), "", bytes);
        const Totals t = open();
        EXPECT_FALSE(t.reused);
        EXPECT_EQ(t, good);
        EXPECT_EQ(test::readBytes(indexPath()), original);
    }
}

// Indexes with a valid checksum and plausible records that still disagree with the data: the
// reader checks the index where it uses it (on open, the segments that give the range and the
// count; at a seek, the segment it starts from), rebuilds it on a mismatch, and never answers from
// it. Each seek and read gives what a reader with a good index gives.
TEST_F(RawFileIndex, IndexesThatDisagreeWithTheDataAreRebuiltWhereTheyAreUsed)
{
    const Totals good = open();
    const auto original = test::readBytes(indexPath());
    const IndexLayout layout(original);
    const size_t body = layout.body;
    const uint64_t n = layout.records;
    ASSERT_GE(n, 6u);
    auto record = [&](std::vector<uint8_t>& v, uint64_t i) { return layout.record(v, i); };
    const uint64_t mid = n / 2;
    using Edit = std::function<void(std::vector<uint8_t>&)>;
    const std::vector<std::pair<const char*, Edit>> cases = {
        {"middle positions moved by one byte",
         [&](auto& v) {
             for (uint64_t i = 1; i + 1 < n; ++i) put64(record(v, i) + 8, get64(record(v, i) + 8) + 1);
         }},
        {"a middle position moved by one word", [&](auto& v) { put64(record(v, mid) + 8, get64(record(v, mid) + 8) + 2); }},
        {"a middle count off by five", [&](auto& v) { put32(record(v, mid) + 25, get32(record(v, mid) + 25) + 5); }},
        {"the last count 1000 too high", [&](auto& v) { put32(record(v, n - 1) + 25, get32(record(v, n - 1) + 25) + 1000); }},
        {"the last time 10^13",
         [&](auto& v) {
             put64(record(v, n - 1), 10'000'000'000'000ull);
             put64(record(v, n - 1) + 17, 10'000'000'000'000ull);
         }},
        {"one record: the end, no events",
         [&](auto& v) {
             std::vector<uint8_t> last(record(v, n - 1), record(v, n - 1) + 29);
             put32(last.data() + 25, 0);
             v.resize(body + 8);
             put64(v.data() + body, 1);
             v.insert(v.end(), last.begin(), last.end());
         }},
    };

    // What a reader with a good index gives for a seek to each bookmark's time, and by count.
    std::vector<uint64_t> times;
    for (uint64_t i = 0; i < n; ++i) times.push_back(get64(original.data() + body + 8 + i * 29));
    auto seekAndRead = [&](RawFileReader& reader) {
        std::vector<std::vector<Event2D>> out;
        for (uint64_t t : times) {
            reader.seekTime(t);
            out.push_back(*reader.getNEvents(50));
        }
        for (uint64_t k : {uint64_t{0}, good.events / 3, good.events / 2, good.events - 1}) {
            reader.seekNEvents(k);
            out.push_back(*reader.getNEvents(50));
        }
        return out;
    };
    RawFileReader reference(path_);
    ASSERT_TRUE(reference.loadFile());
    const auto expected = seekAndRead(reference);

    for (const auto& [name, edit] : cases) {
        SCOPED_TRACE(name);
        auto bytes = original;
        bytes.pop_back();
        edit(bytes);
        bytes.push_back(test::referenceCrc8(bytes.data(), bytes.size()));
        test::writeBytes(indexPath(), "", bytes);
        EXPECT_EQ(open(), good);
        test::writeBytes(indexPath(), "", bytes);
        RawFileReader reader(path_);
        ASSERT_TRUE(reader.loadFile());
        EXPECT_TRUE(seekAndRead(reader) == expected);
        EXPECT_EQ(test::readBytes(indexPath()), original) << "the index is rebuilt and replaced";
    }
}

// A recording cut short while open (a copy still being written, a full disk): reads give what is
// left, and the reader's reason says it shrank, so no caller takes the short read as the whole.
TEST_F(RawFileIndex, ARecordingThatShrinksWhileOpenSaysSo)
{
    RawFileReader reader(path_);
    ASSERT_TRUE(reader.loadFile());
    EXPECT_FALSE(reader.lastError());
    std::filesystem::resize_file(path_, std::filesystem::file_size(path_) / 2);
    uint64_t max = 0;
    reader.getMaxEvents(max);
    const auto events = reader.getNEvents(max);
    EXPECT_LT(events->size(), max);
    EXPECT_EQ(reader.lastError().kind, RecordingError::Kind::Io);
    EXPECT_NE(reader.lastError().message.find("shrank while open"), std::string::npos) << reader.lastError().message;
    EXPECT_EQ(reader.shrinkMessage(), reader.lastError().message);
}

// The same size and geometry, different content: the index of the old recording is not used.
TEST_F(RawFileIndex, ARecordingRewrittenWithTheSameSizeIsIndexedAgain)
{
    open();
    auto other = smallStream(7);
    // Same bytes but the last events moved to other pixels: same size, same time span.
    ASSERT_GT(other.size(), 100u);
    for (size_t i = other.size() - 64; i < other.size(); i += 2) {
        if ((other[i + 1] >> 4) == 0x2) other[i] ^= 0x01;
    }
    ASSERT_NE(other, data_);
    test::writeBytes(path_, test::standardRawHeader(), other);
    expected_ = test::straightDecode(other);
    EXPECT_FALSE(open().reused);
    EXPECT_TRUE(open().reused);
}

// However fast a stream's time runs, the index stays well below the recording's size, and the
// recording still seeks and reads exactly.
TEST(RawFileIndexSize, TimeRacingAheadGivesNoMoreBookmarksThanTheBytesJustify)
{
    TempDir dir;
    std::vector<uint8_t> data;
    auto put = [&](uint32_t w) {
        data.push_back(static_cast<uint8_t>(w));
        data.push_back(static_cast<uint8_t>(w >> 8));
    };
    // TIME_HIGH words 2 ms (and more) apart with an event after every tenth: 20000 words.
    uint64_t t = 1 << 20;
    for (int i = 0; i < 20000; ++i) {
        t += 2048 + (i % 3) * 4096;
        put(0x8000 | ((t >> 12) & 0xFFF));
        if (i % 10 == 0) {
            put(0x0000 | (i % 720));
            put(0x2000 | (i % 1280));
        }
    }
    const std::string path = dir.file("fast.raw");
    test::writeBytes(path, test::standardRawHeader(), data);
    const auto expected = test::straightDecode(data);
    RawFileReader reader(path);
    ASSERT_TRUE(reader.loadFile());
    const uint64_t index_bytes = fs::file_size(dir.file("fast.ovmark.tmp"));
    EXPECT_LT(index_bytes, fs::file_size(path) / 4);
    EXPECT_EQ(readAll(reader), expected);
    uint64_t start = 0, end = 0;
    reader.getStartTimeStamp(start);
    reader.getEndTimeStamp(end);
    std::mt19937_64 rng(3);
    for (int i = 0; i < 50; ++i) {
        const uint64_t at = start + rng() % (end - start);
        ASSERT_TRUE(reader.seekTime(at));
        const auto first = std::find_if(expected.begin(), expected.end(), [at](const Event2D& e) { return e.timestamp >= at; });
        ASSERT_EQ(reader.getCurrentPosEventNum(), static_cast<uint64_t>(first - expected.begin()));
    }
    RawFileReader again(path);
    ASSERT_TRUE(again.loadFile());
    EXPECT_TRUE(again.indexReused());
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

// An index large enough for the checksum's wide path: it still equals the bitwise definition.
TEST(RawFileIndexLarge, ChecksumMatchesTheBitwiseDefinition)
{
    TempDir dir;
    test::StreamShape shape;
    shape.events = 24000;
    shape.durationUs = 8000000;
    shape.timeHighPeriodUs = 16;  // a bookmark every 2 ms or so
    const std::string path = dir.file("long.raw");
    test::writeBytes(path, test::standardRawHeader(), test::encodeStream(test::makeEvents(shape), shape));
    {
        RawFileReader reader(path);
        ASSERT_TRUE(reader.loadFile());
    }
    const auto bytes = test::readBytes(dir.file("long.ovmark.tmp"));
    ASSERT_GT(bytes.size(), 70000u);
    EXPECT_EQ(test::referenceCrc8(bytes.data(), bytes.size() - 1), bytes.back());
    RawFileReader again(path);
    ASSERT_TRUE(again.loadFile());
    EXPECT_TRUE(again.indexReused());
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

// The fast build (the decoder counting up to each bookmark, the file read ahead on a second thread)
// and the decoder's own build give the same index, byte for byte, whatever the stream: steps back,
// wraps, vectors, garbage, and a recording large enough to be read ahead in many chunks.
TEST(RawFileIndexBuilds, FastAndDecoderBuildsAgree)
{
    std::vector<std::pair<const char*, std::vector<uint8_t>>> streams;
    {
        test::StreamShape s;
        s.backstepPercent = 10;
        s.timeHighPeriodUs = 16;
        streams.emplace_back("backsteps", test::encodeStream(test::makeEvents(s), s));
    }
    {
        test::StreamShape s;
        s.rowRuns = true;
        s.startUs = (1u << 24) - 100000;  // across the 24-bit wrap
        streams.emplace_back("vectors over a wrap", test::encodeStream(test::makeEvents(s), s));
    }
    {
        std::mt19937 rng(17);
        std::vector<uint8_t> garbage(400000);
        for (auto& b : garbage) b = static_cast<uint8_t>(rng());
        streams.emplace_back("garbage", garbage);
    }
    {
        test::StreamShape s;
        s.events = 3000000;
        s.durationUs = 20000000;
        s.timeHighPeriodUs = 16;
        s.backstepPercent = 3;
        streams.emplace_back("large (read ahead in chunks)", test::encodeStream(test::makeEvents(s), s));
        ASSERT_GT(streams.back().second.size(), 16u << 20);
    }
    for (const auto& [name, data] : streams) {
        SCOPED_TRACE(name);
        TempDir dir;
        const std::string path = dir.file("rec.raw");
        // The data's words start at an odd byte of the file.
        std::string header = test::standardRawHeader();
        if (header.size() % 2 == 0) header.insert(header.rfind("% end"), "% pad1\n");
        test::writeBytes(path, header, data);
        std::vector<uint8_t> fast, slow;
        uint64_t fastMax = 0, slowMax = 0;
        {
            RawFileReader reader(path);
            ASSERT_TRUE(reader.loadFile());
            reader.getMaxEvents(fastMax);
            fast = test::readBytes(reader.getIndexPath());
            fs::remove(reader.getIndexPath());
        }
        {
            setenv("ORVANE_INDEX_DECODER_SCAN", "1", 1);
            RawFileReader reader(path);
            const bool loaded = reader.loadFile();
            unsetenv("ORVANE_INDEX_DECODER_SCAN");
            ASSERT_TRUE(loaded);
            reader.getMaxEvents(slowMax);
            slow = test::readBytes(reader.getIndexPath());
        }
        EXPECT_EQ(fastMax, test::straightDecode(data).size());
        EXPECT_EQ(fastMax, slowMax);
        EXPECT_EQ(fast, slow);
        // Read back (a long index is checked and read on both cores): the same recording.
        ASSERT_FALSE(slow.empty());
        EXPECT_EQ(test::referenceCrc8(slow.data(), slow.size() - 1), slow.back());
        RawFileReader again(path);
        ASSERT_TRUE(again.loadFile());
        EXPECT_TRUE(again.indexReused());
        uint64_t againMax = 0;
        again.getMaxEvents(againMax);
        EXPECT_EQ(againMax, fastMax);
    }
}

}  // namespace
}  // namespace orvane
