// Loading raw files: the factory, the header rules, and the bookmark index beside the recording
// (built, reused, rejected and rebuilt, written nowhere it must not be, counts past 2^32).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
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

struct HeaderCase {
    const char* name;
    std::string header;
    bool loads;
    uint16_t width, height;
    const char* stderrText;  // expected on standard error, or nullptr
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
        {"EVT2.1 format", "% format EVT2.1;height=480\n% end\n", false, 0, 0,
         "Error : detected non-EVT3 input file ''\n"},
        {"evt 2.0", "% evt 2.0\n% end\n", false, 0, 0, "Error : detected non-EVT3 input file.''\n"},
        {"evt 3.0 with CR", "% evt 3.0\r\n% end\n", false, 0, 0, "Error : detected non-EVT3 input file.''\n"},
    };
    const std::vector<uint8_t> data = smallStream();
    const std::vector<Event2D> expected = test::straightDecode(data);
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        test::writeBytes(dir.file("r.raw"), c.header, data);
        RawFileReader reader(dir.file("r.raw"));
        testing::internal::CaptureStderr();
        const bool loaded = reader.loadFile();
        const std::string err = testing::internal::GetCapturedStderr();
        ASSERT_EQ(loaded, c.loads);
        if (c.stderrText) {
            EXPECT_NE(err.find(c.stderrText), std::string::npos) << err;
        }
        if (!c.loads) continue;
        EXPECT_EQ(reader.getWidth(), c.width);
        EXPECT_EQ(reader.getHeight(), c.height);
        EXPECT_EQ(reader.getCurrentPosEventNum(), 0u);
        uint64_t start = 0;
        reader.getStartTimeStamp(start);
        EXPECT_EQ(reader.getCurrentPosTimeStamp(), start);
        // The data starts right after the header: every event comes back.
        EXPECT_EQ(readAll(reader), expected);
    }
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

TEST(RawFileHeader, MissingFileFailsSilently)
{
    TempDir dir;
    RawFileReader reader(dir.file("none.raw"));
    EXPECT_FALSE(reader.loadFile());
    EXPECT_FALSE(fs::exists(dir.file("none.ovmark.tmp")));
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

    // Layout: three text lines, 0x00, N, 29-byte records, CRC-8 of all before it.
    const std::string text = "max_byte:" + std::to_string(fs::file_size(path_)) +
                             "\nsensor_width:1280\nsensor_height:720\n";
    ASSERT_GT(bytes.size(), text.size() + 10);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + static_cast<long>(text.size())), text);
    EXPECT_EQ(bytes[text.size()], 0);
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
        fs::resize_file(indexPath(), RawFileReader::max_index_bytes + 1);
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
    std::string err;
    const Totals t = open(&err);
    EXPECT_FALSE(t.reused);
    EXPECT_EQ(t.events, expected_.size());
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

// A hand-made index whose 32-bit counts wrap twice past 2^32: in memory they keep rising.
TEST_F(RawFileIndex, CountsPastTwoToThe32AreUnwrapped)
{
    open();
    auto bytes = test::readBytes(indexPath());
    const size_t body = std::find(bytes.begin(), bytes.end(), uint8_t{0}) - bytes.begin() + 1;
    uint64_t n = 0;
    std::memcpy(&n, bytes.data() + body, 8);
    ASSERT_GE(n, 6u);
    struct Mark {
        uint64_t ts;
        uint32_t count;
    };
    std::vector<Mark> marks;
    const uint64_t mid = n / 2;
    for (uint64_t i = 0; i < n; ++i) {
        uint8_t* rec = bytes.data() + body + 8 + i * 29;
        Mark m{};
        std::memcpy(&m.ts, rec + 17, 8);
        std::memcpy(&m.count, rec + 25, 4);
        marks.push_back(m);
        // +0xC0000000 from the second record, +0x80000000 more from the middle one: the stored
        // value wraps there, the real count passes 2^32.
        uint32_t stored = m.count;
        if (i >= 1) stored += 0xC0000000u;
        if (i >= mid) stored += 0x80000000u;
        std::memcpy(rec + 25, &stored, 4);
    }
    bytes.back() = test::referenceCrc8(bytes.data(), bytes.size() - 1);
    test::writeBytes(indexPath(), "", bytes);

    const uint64_t offset = 0x140000000ull;
    RawFileReader reader(path_);
    ASSERT_TRUE(reader.loadFile());
    ASSERT_TRUE(reader.indexReused());
    uint64_t max = 0;
    reader.getMaxEvents(max);
    EXPECT_EQ(max, expected_.size() + offset);

    // A time seek onto a bookmark past the wrap reports the unwrapped count.
    ASSERT_TRUE(reader.seekTime(marks[mid + 1].ts));
    EXPECT_EQ(reader.getCurrentPosEventNum(), marks[mid + 1].count + offset);
    // A count seek past 2^32 lands where the real data says.
    const uint64_t real = marks[mid + 1].count + 17;
    ASSERT_TRUE(reader.seekNEvents(real + offset));
    EXPECT_EQ(reader.getCurrentPosEventNum(), real + offset);
    const auto events = reader.getNEvents(5);
    ASSERT_EQ(events->size(), 5u);
    EXPECT_TRUE(std::equal(events->begin(), events->end(), expected_.begin() + static_cast<long>(real)));
    EXPECT_EQ(reader.getCurrentPosEventNum(), real + offset + 5);
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
