// The exporters: each kind is found by its output's extension; CSV and HDF5 give exactly the events
// (and HDF5 the trigger edges) a read of the range gives, HDF5's ms_to_idx agrees with the times; a
// failure or a cancel leaves no file, whatever the kind.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#ifdef ORVANE_WITH_HDF5
#include <hdf5.h>
#endif

#include "FileSizeLimit.h"
#include "RawFileTestSupport.h"
#include "orvane/base/Logger.h"
#include "orvane/driver/Exporter.h"
#include "orvane/driver/Mp4FileReader.h"
#include "orvane/driver/RawFileReader.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

struct Opened {
    TempDir dir;
    std::unique_ptr<RawFileReader> reader;
    uint64_t start = 0, end = 0;
    explicit Opened(const std::string& name)
    {
        const std::string copy = dir.file("rec.raw");
        fs::copy_file(std::string(ORVANE_SHARED_DATA_DIR) + "/" + name, copy);
        reader = std::make_unique<RawFileReader>(copy);
        EXPECT_TRUE(reader->loadFile());
        reader->getStartTimeStamp(start);
        reader->getEndTimeStamp(end);
    }
    // What a read of [from, to) gives, from a reader of its own; to the end when `to` is the end.
    std::vector<Event2D> read(uint64_t from, uint64_t to) const
    {
        RawFileReader r(dir.file("rec.raw"));
        EXPECT_TRUE(r.loadFile());
        if (to >= end) {
            uint64_t n = 0;
            r.getMaxEvents(n);
            r.seekTime(from);
            return *r.getNEvents(n);
        }
        return *r.getNTimeEventsGivenStartTimeStamp(from, to - from);
    }
    std::vector<EventTriggerIn> triggers(uint64_t from, uint64_t to) const
    {
        RawFileReader r(dir.file("rec.raw"));
        EXPECT_TRUE(r.loadFile());
        std::vector<EventTriggerIn> out;
        r.getTriggerEvents(from, to >= end ? end + 1 : to, out);
        return out;
    }
};

std::vector<std::pair<uint64_t, uint64_t>> rangesOf(const Opened& o)
{
    const uint64_t span = o.end - o.start;
    return {{o.start, o.end}, {o.start + span / 3, o.start + 2 * span / 3}, {o.start + span / 2 + 777, o.end}};
}

void expectSameEvents(const std::vector<Event2D>& got, const std::vector<Event2D>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_TRUE(got[i].x == want[i].x && got[i].y == want[i].y && (got[i].polarity != 0) == (want[i].polarity != 0) &&
                    got[i].timestamp == want[i].timestamp)
            << "event " << i;
    }
}

class RealExports : public ::testing::TestWithParam<const char*> {};

std::vector<Event2D> readCsv(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "x,y,p,t");
    std::vector<Event2D> out;
    unsigned x = 0, y = 0, p = 0;
    uint64_t t = 0;
    while (std::getline(in, line)) {
        EXPECT_EQ(std::sscanf(line.c_str(), "%u,%u,%u,%" SCNu64, &x, &y, &p, &t), 4) << line;
        out.emplace_back(static_cast<uint16_t>(x), static_cast<uint16_t>(y), static_cast<uint8_t>(p), t);
    }
    return out;
}

TEST_P(RealExports, CsvHasTheEventsOfARead)
{
    Opened o(GetParam());
    for (const auto& [from, to] : rangesOf(o)) {
        const std::string out = o.dir.file("out.csv");
        double last_progress = 0;
        const RecordingError e = makeExporterFor(out)->run(*o.reader, {from, to}, out,
                                                           [&](double f) { last_progress = f; }, nullptr);
        ASSERT_FALSE(e) << e.message;
        EXPECT_EQ(last_progress, 1.0);
        expectSameEvents(readCsv(out), o.read(from, to));
    }
}

#ifdef ORVANE_WITH_HDF5
// The filters of every dataset: shuffle and deflate by default, none when asked for none.
int g_filters = 2;

template <typename T>
std::vector<T> dataset(hid_t file, const char* name, hid_t memtype)
{
    const hid_t set = H5Dopen2(file, name, H5P_DEFAULT);
    EXPECT_GE(set, 0) << name;
    const hid_t space = H5Dget_space(set);
    hsize_t n = 0;
    H5Sget_simple_extent_dims(space, &n, nullptr);
    std::vector<T> out(n);
    if (n) {
        EXPECT_GE(H5Dread(set, memtype, H5S_ALL, H5S_ALL, H5P_DEFAULT, out.data()), 0);
    }
    // Stored as the datasets of public event data sets are: chunked, shuffled and deflated.
    const hid_t props = H5Dget_create_plist(set);
    EXPECT_EQ(H5Pget_layout(props), H5D_CHUNKED) << name;
    EXPECT_EQ(H5Pget_nfilters(props), g_filters) << name;
    H5Pclose(props);
    H5Sclose(space);
    H5Dclose(set);
    return out;
}

int64_t intAttribute(hid_t file, const char* name)
{
    int64_t v = -1;
    const hid_t a = H5Aopen(file, name, H5P_DEFAULT);
    EXPECT_GE(a, 0) << name;
    H5Aread(a, H5T_NATIVE_INT64, &v);
    H5Aclose(a);
    return v;
}

std::string stringAttribute(hid_t file, const char* name)
{
    const hid_t a = H5Aopen(file, name, H5P_DEFAULT);
    const hid_t type = H5Aget_type(a);
    std::string v(H5Tget_size(type), '\0');
    H5Aread(a, type, v.data());
    H5Tclose(type);
    H5Aclose(a);
    return v.substr(0, v.find('\0'));
}

TEST_P(RealExports, Hdf5HasTheEventsTriggersAndMillisecondIndexOfARead)
{
    Opened o(GetParam());
    for (const char* compression : {"deflate", "none"}) {
        SCOPED_TRACE(compression);
        g_filters = std::string(compression) == "none" ? 0 : 2;
        auto exporter = makeExporterFor("out.hdf5");
        std::string error;
        ASSERT_TRUE(exporter->setOption("compression", compression, error)) << error;
        for (const auto& [from, to] : rangesOf(o)) {
            const std::string out = o.dir.file("out.hdf5");
            const RecordingError e = exporter->run(*o.reader, {from, to}, out, nullptr, nullptr);
            ASSERT_FALSE(e) << e.message;
            const hid_t file = H5Fopen(out.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
            ASSERT_GE(file, 0);
            const auto x = dataset<uint16_t>(file, "/events/x", H5T_NATIVE_UINT16);
            const auto y = dataset<uint16_t>(file, "/events/y", H5T_NATIVE_UINT16);
            const auto p = dataset<uint8_t>(file, "/events/p", H5T_NATIVE_UINT8);
            const auto t = dataset<int64_t>(file, "/events/t", H5T_NATIVE_INT64);
            const auto ms = dataset<uint64_t>(file, "/events/ms_to_idx", H5T_NATIVE_UINT64);
            ASSERT_TRUE(x.size() == t.size() && y.size() == t.size() && p.size() == t.size());
            std::vector<Event2D> got;
            for (size_t i = 0; i < t.size(); ++i)
                got.emplace_back(x[i], y[i], p[i], static_cast<uint64_t>(t[i]));
            const std::vector<Event2D> want = o.read(from, to);
            expectSameEvents(got, want);

            // Entry m: the first event (in stream order) at or past m ms from the start; one per millisecond.
            EXPECT_EQ(ms.size(), (std::min(to, o.end + 1) - from + 999) / 1000);
            for (size_t m = 0; m < ms.size(); ++m) {
                const int64_t at = static_cast<int64_t>(from + m * 1000);
                ASSERT_LE(ms[m], t.size());
                if (ms[m] < t.size()) {
                    ASSERT_GE(t[ms[m]], at) << m;
                }
                if (m + 1 < ms.size()) {
                    ASSERT_LE(ms[m], ms[m + 1]);
                }
                const uint64_t before = m ? ms[m - 1] : 0;
                for (uint64_t i = before; i < ms[m]; ++i) ASSERT_LT(t[i], at) << m;
            }

            const auto tt = dataset<int64_t>(file, "/triggers/t", H5T_NATIVE_INT64);
            const auto tid = dataset<int16_t>(file, "/triggers/id", H5T_NATIVE_INT16);
            const auto tp = dataset<uint8_t>(file, "/triggers/p", H5T_NATIVE_UINT8);
            const auto edges = o.triggers(from, to);
            ASSERT_EQ(tt.size(), edges.size());
            for (size_t i = 0; i < edges.size(); ++i) {
                ASSERT_EQ(tt[i], static_cast<int64_t>(edges[i].timestamp));
                ASSERT_EQ(tid[i], edges[i].id);
                ASSERT_EQ(tp[i] != 0, edges[i].polarity != 0);
            }
            if (std::string(GetParam()).find("ecpy") != std::string::npos && from == o.start && to == o.end) {
                EXPECT_EQ(tt.size(), 4157u) << "all the recording's edges";
            }

            EXPECT_EQ(intAttribute(file, "width"), o.reader->getWidth());
            EXPECT_EQ(intAttribute(file, "height"), o.reader->getHeight());
            EXPECT_EQ(intAttribute(file, "start_us"), static_cast<int64_t>(from));
            EXPECT_EQ(intAttribute(file, "end_us"), static_cast<int64_t>(to));
            EXPECT_EQ(stringAttribute(file, "source_file"), o.dir.file("rec.raw"));
            EXPECT_EQ(stringAttribute(file, "format"), o.reader->formatName());
            H5Fclose(file);
        }
    }
    g_filters = 2;
}

TEST(Hdf5Export, CompressionIsDeflateOrNone)
{
    auto exporter = makeExporterFor("out.h5");
    std::string error;
    for (const char* bad : {"", "zlib", "Deflate", "none "}) {
        EXPECT_FALSE(exporter->setOption("compression", bad, error)) << bad;
        EXPECT_NE(error.find("deflate or none"), std::string::npos) << error;
    }
    EXPECT_FALSE(exporter->setOption("level", "1", error));
    ASSERT_EQ(exporter->options().size(), 1u);
    EXPECT_EQ(exporter->options()[0].name, "compression");
}

using test::FileSizeLimit;

// A write the system refuses, whether with the first chunk, in the middle or with what the close
// writes last, fails the export with the system's reason and leaves no file. The library keeps no
// file open afterwards (one whose close failed stays registered and crashes the process when the
// library closes it again at exit), and the same export then succeeds.
TEST(Hdf5Export, ARefusedWriteFailsWithTheReasonLeavesNoFileAndKeepsNothingOpen)
{
    Opened o("ecpy_test_events_1.raw");
    for (const char* compression : {"deflate", "none"}) {
        SCOPED_TRACE(compression);
        auto exporter = makeExporterFor("out.h5");
        std::string error;
        ASSERT_TRUE(exporter->setOption("compression", compression, error)) << error;
        g_filters = std::string(compression) == "none" ? 0 : 2;
        const std::string out = o.dir.file("out.h5");
        ASSERT_FALSE(exporter->run(*o.reader, {o.start, o.end}, out, nullptr, nullptr));
        const uintmax_t full = fs::file_size(out);
        fs::remove(out);
        for (const uintmax_t limit : {uintmax_t{2048}, full / 3, 2 * full / 3, full - 1}) {
            SCOPED_TRACE(limit);
            RecordingError e;
            double last_progress = 0;
            {
                FileSizeLimit below(limit);
                ASSERT_TRUE(below.ok());
                e = exporter->run(
                    *o.reader, {o.start, o.end}, out, [&](double f) { last_progress = f; }, nullptr);
            }
            EXPECT_EQ(e.kind, RecordingError::Kind::Io) << e.message;
            EXPECT_EQ(e.errnum, EFBIG) << e.message;
            EXPECT_NE(e.message.find(out), std::string::npos) << e.message;
            EXPECT_NE(e.message.find(std::strerror(EFBIG)), std::string::npos) << e.message;
            EXPECT_LT(last_progress, 1.0);
            for (const auto& entry : fs::directory_iterator(o.dir.path()))
                EXPECT_EQ(entry.path().filename().string().rfind("out", 0), std::string::npos)
                    << entry.path();
            EXPECT_EQ(H5Fget_obj_count(H5F_OBJ_ALL, H5F_OBJ_ALL), 0);
        }
        const RecordingError again = exporter->run(*o.reader, {o.start, o.end}, out, nullptr, nullptr);
        ASSERT_FALSE(again) << again.message;
        EXPECT_EQ(fs::file_size(out), full);
        const hid_t file = H5Fopen(out.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
        ASSERT_GE(file, 0);
        EXPECT_EQ(dataset<int64_t>(file, "/events/t", H5T_NATIVE_INT64).size(),
                  o.read(o.start, o.end).size());
        H5Fclose(file);
        fs::remove(out);
    }
    g_filters = 2;
}
#endif

INSTANTIATE_TEST_SUITE_P(SharedData, RealExports,
                         ::testing::Values("eccodecs_evt3_trigger.raw", "ecpy_test_events_1.raw"),
                         [](const auto& p) { return std::string(p.index == 0 ? "eccodecs" : "ecpy"); });

TEST(Exporters, FoundByTheOutputsExtension)
{
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"a.raw", "raw"}, {"b/c.MP4", "video"}, {"d.csv", "csv"},
#ifdef ORVANE_WITH_HDF5
        {"e.h5", "hdf5"}, {"f.HDF5", "hdf5"},
#endif
    };
    for (const auto& [path, name] : cases) {
        const auto e = makeExporterFor(path);
        ASSERT_TRUE(e) << path;
        EXPECT_EQ(e->name(), name) << path;
    }
    EXPECT_FALSE(makeExporterFor("g.txt"));
    EXPECT_FALSE(makeExporterFor("h.raw/noext"));
}

// Every kind: an output in a missing folder fails with the reason, a cancel mid-way fails as
// cancelled, and neither leaves a file (nor a part file) behind.
TEST(Exporters, FailureAndCancelLeaveNoFile)
{
    Opened o("ecpy_test_events_1.raw");
    for (const auto& exporter : makeExporters()) {
        SCOPED_TRACE(exporter->name());
        const std::string missing = o.dir.file("missing/out" + exporter->extension());
        const RecordingError e = exporter->run(*o.reader, {o.start, o.end}, missing, nullptr, nullptr);
        EXPECT_TRUE(e.kind == RecordingError::Kind::NotFound || e.kind == RecordingError::Kind::Io) << e.message;
        EXPECT_NE(e.message.find(missing), std::string::npos) << e.message;

        std::atomic<bool> cancel{false};
        const std::string out = o.dir.file("out" + exporter->extension());
        const RecordingError c = exporter->run(*o.reader, {o.start, o.end}, out,
                                               [&](double f) {
                                                   if (f > 0 && f < 1) cancel = true;
                                               },
                                               &cancel);
        EXPECT_EQ(c.kind, RecordingError::Kind::Cancelled) << c.message;
        for (const auto& entry : fs::directory_iterator(o.dir.path())) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name == "rec.raw" || name == "rec.ovmark.tmp") << name;
        }
    }
}

// ---- failures of the output ----

// What a kind of export over one recording leaves in its folder besides the recording.
std::vector<std::string> leftBeside(const TempDir& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        if (name != "rec.raw" && name != "rec.ovmark.tmp" && name != "afile" && name != "sub") names.push_back(name);
    }
    return names;
}

class OutputFailures : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        test::StreamShape shape;
        shape.format = GetParam();
        shape.events = 200000;
        shape.durationUs = 500000;
        test::writeBytes(dir.file("rec.raw"), test::standardRawHeader(shape.format),
                         test::encodeStream(test::makeEvents(shape), shape));
        reader = std::make_unique<RawFileReader>(dir.file("rec.raw"));
        ASSERT_TRUE(reader->loadFile());
        reader->getStartTimeStamp(start);
        reader->getEndTimeStamp(end);
        std::ofstream(dir.file("afile")) << "x";
    }
    // Each kind but HDF5, whose writing has its own tests.
    std::vector<std::unique_ptr<Exporter>> kinds() const
    {
        std::vector<std::unique_ptr<Exporter>> out;
        for (auto& e : makeExporters())
            if (e->name() != "hdf5") out.push_back(std::move(e));
        return out;
    }
    TempDir dir;
    std::unique_ptr<RawFileReader> reader;
    uint64_t start = 0, end = 0;
};

TEST_P(OutputFailures, AMissingFolderOrAFileOnThePathFailsWithTheReasonAndLeavesNothing)
{
    for (const auto& exporter : kinds()) {
        SCOPED_TRACE(exporter->name());
        for (const auto& [sub, reason] : std::vector<std::pair<std::string, std::string>>{
                 {"missing/out", "No such file or directory"}, {"afile/out", "Not a directory"}}) {
            const std::string out = dir.file(sub + exporter->extension());
            const RecordingError e = exporter->run(*reader, {start, end}, out, nullptr, nullptr);
            EXPECT_EQ(e.kind, RecordingError::Kind::NotFound) << e.message;
            EXPECT_NE(e.message.find(out), std::string::npos) << e.message;
            EXPECT_NE(e.message.find(reason), std::string::npos) << e.message;
            EXPECT_NE(e.errnum, 0);
        }
        EXPECT_EQ(leftBeside(dir), std::vector<std::string>{});
    }
}

// A file size limit (ulimit -f) is a write that fails with "File too large", not a process killed
// by SIGXFSZ: each export runs in a child process of its own with the limit and the signal's
// default action, and must come back with the reason and no file.
TEST_P(OutputFailures, AFileSizeLimitFailsWithTheReasonAndLeavesNothing)
{
    for (const auto& exporter : kinds()) {
        SCOPED_TRACE(exporter->name());
        const std::string out = dir.file("out" + exporter->extension());
        std::fflush(nullptr);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // A reader of its own: the parent's shares its file offset with every child.
            RawFileReader own(dir.file("rec.raw"));
            if (!own.loadFile()) _exit(4);
            std::signal(SIGXFSZ, SIG_DFL);
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = 16384;
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
            RecordingError e;
            try {
                e = exporter->run(own, {start, end}, out, nullptr, nullptr);
            } catch (const std::exception& x) {
                std::fprintf(stderr, "thrown: %s\n", x.what());
                _exit(2);
            }
            const bool told = e.kind == RecordingError::Kind::Io && e.message.find("File too large") != std::string::npos &&
                              e.message.find(out) != std::string::npos;
            if (!told) std::fprintf(stderr, "kind %d: %s\n", static_cast<int>(e.kind), e.message.c_str());
            _exit(told ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(leftBeside(dir), std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, OutputFailures, ::testing::Values("EVT3", "EVT2"),
                         [](const auto& p) { return std::string(p.param); });

// ---- raw exports of EVT 2.x ----

struct Evt2Source {
    const char* format;
    uint64_t startUs;
};

class RawFromEvt2 : public ::testing::TestWithParam<Evt2Source> {};

// An EVT 2.x recording exported as .raw becomes EVT 3.0 with the range's events and trigger edges
// (their times less whole 2^24 us wraps, as any cut's); a cut keeps the source's encoding.
TEST_P(RawFromEvt2, IsWrittenAsEvt3WithTheSameEventsAndTriggers)
{
    const Evt2Source c = GetParam();
    TempDir dir;
    test::StreamShape shape;
    shape.format = c.format;
    shape.startUs = c.startUs;
    shape.durationUs = 400000;
    shape.events = 60000;
    shape.rowRuns = std::string(c.format) == "EVT21";
    const std::vector<Event2D> events = test::makeEvents(shape);
    std::vector<EventTriggerIn> triggers;
    for (uint64_t t = events.front().timestamp + 777; t < events.back().timestamp; t += 9000)
        triggers.push_back({static_cast<int16_t>((t / 9000) & 1), static_cast<int16_t>(t % 2), t});
    const std::string source = dir.file("rec.raw");
    test::writeBytes(source, test::standardRawHeader(c.format),
                     encodeEvt2(events, triggers, Evt2Encoder::Options{shape.rowRuns, false}));
    RawFileReader reader(source);
    ASSERT_TRUE(reader.loadFile());
    uint64_t first = 0, last = 0;
    reader.getStartTimeStamp(first);
    reader.getEndTimeStamp(last);

    for (const auto& [from, to] : std::vector<std::pair<uint64_t, uint64_t>>{
             {first, last}, {first + 100000, first + 250000}, {first + 123457, last}}) {
        SCOPED_TRACE(std::to_string(from - first) + " to " + std::to_string(to - first));
        const std::string out = dir.file("out.raw");
        const RecordingError e = makeExporterFor(out)->run(reader, {from, to}, out, nullptr, nullptr);
        ASSERT_FALSE(e) << e.message;

        // What a read of the range gives, from a reader of its own.
        RawFileReader want(source);
        ASSERT_TRUE(want.loadFile());
        std::vector<Event2D> wantEvents;
        if (to >= last) {
            uint64_t n = 0;
            want.getMaxEvents(n);
            want.seekTime(from);
            wantEvents = *want.getNEvents(n);
        } else {
            wantEvents = *want.getNTimeEventsGivenStartTimeStamp(from, to - from);
        }
        std::vector<EventTriggerIn> wantTriggers;
        want.getTriggerEvents(from, to >= last ? last + 1 : to, wantTriggers);
        ASSERT_FALSE(wantEvents.empty());
        ASSERT_FALSE(wantTriggers.empty());

        RawFileReader cut(out);
        ASSERT_TRUE(cut.loadFile());
        EXPECT_STREQ(cut.formatName(), "EVT 3.0");
        uint64_t n = 0, cutStart = 0, cutEnd = 0;
        cut.getMaxEvents(n);
        cut.getStartTimeStamp(cutStart);
        cut.getEndTimeStamp(cutEnd);
        cut.seekTime(cutStart);
        const std::vector<Event2D> got = *cut.getNEvents(n);
        std::vector<EventTriggerIn> gotTriggers;
        cut.getTriggerEvents(0, cutEnd + 1, gotTriggers);

        ASSERT_EQ(got.size(), wantEvents.size());
        const uint64_t shift = wantEvents.front().timestamp - got.front().timestamp;
        EXPECT_EQ(shift % (uint64_t{1} << 24), 0u);
        for (size_t i = 0; i < got.size(); ++i) {
            ASSERT_TRUE(got[i].x == wantEvents[i].x && got[i].y == wantEvents[i].y &&
                        (got[i].polarity != 0) == (wantEvents[i].polarity != 0) &&
                        got[i].timestamp + shift == wantEvents[i].timestamp)
                << "event " << i;
        }
        ASSERT_EQ(gotTriggers.size(), wantTriggers.size());
        for (size_t i = 0; i < gotTriggers.size(); ++i) {
            EXPECT_EQ(gotTriggers[i].timestamp + shift, wantTriggers[i].timestamp) << i;
            EXPECT_EQ(gotTriggers[i].id, wantTriggers[i].id) << i;
            EXPECT_EQ(gotTriggers[i].polarity != 0, wantTriggers[i].polarity != 0) << i;
        }
    }

    // A cut of the same recording keeps its encoding, byte for byte.
    ASSERT_TRUE(reader.extractEventData(first, last, dir.file("cut.raw")));
    RawFileReader cut(dir.file("cut.raw"));
    ASSERT_TRUE(cut.loadFile());
    EXPECT_STREQ(cut.formatName(), reader.formatName());
}

INSTANTIATE_TEST_SUITE_P(Formats, RawFromEvt2,
                         ::testing::Values(Evt2Source{"EVT2", 5000000}, Evt2Source{"EVT21", 5000000},
                                           // across EVT 2.x's own 34-bit wrap, far past EVT 3.0's 24 bits
                                           Evt2Source{"EVT2", (uint64_t{1} << 34) - 200000}),
                         [](const auto& p) { return std::string(p.param.format) + "_" + std::to_string(p.index); });

// ---- video options ----

struct VideoCase {
    int fps;
    double speed;
    uint64_t spanUs;      // of the recording, from its start
    size_t frames;        // one per slice of speed x 1000000 / fps us (every slice holds events)
    uint64_t periodUs;    // between two frames of the video
};

class VideoOptions : public ::testing::TestWithParam<VideoCase> {};

TEST_P(VideoOptions, OneFramePerSliceAtTheFrameRate)
{
    const VideoCase c = GetParam();
    TempDir dir;
    // An event every 2 us for a second and a half: no slice is empty.
    std::vector<Event2D> events;
    for (uint64_t t = 0; t < 1500000; t += 2)
        events.emplace_back(static_cast<uint16_t>(t % 1280), static_cast<uint16_t>(t % 720), uint8_t{1}, 5000000 + t);
    test::StreamShape shape;
    test::writeBytes(dir.file("rec.raw"), test::standardRawHeader(), test::encodeStream(events, shape));
    RawFileReader reader(dir.file("rec.raw"));
    ASSERT_TRUE(reader.loadFile());
    auto exporter = makeExporterFor("out.mp4");
    std::string error;
    ASSERT_TRUE(exporter->setOption("fps", std::to_string(c.fps), error)) << error;
    ASSERT_TRUE(exporter->setOption("speed", std::to_string(c.speed), error)) << error;
    const std::string out = dir.file("out.mp4");
    const RecordingError e = exporter->run(reader, {5000000, 5000000 + c.spanUs}, out, nullptr, nullptr);
    ASSERT_FALSE(e) << e.message;
    Mp4FileReader video(out);
    ASSERT_TRUE(video.loadFile());
    std::vector<uint64_t> times;
    video.getTimeStamps(times);
    ASSERT_EQ(times.size(), c.frames);
    for (size_t i = 0; i < times.size(); ++i) ASSERT_EQ(times[i], i * c.periodUs) << i;
}

INSTANTIATE_TEST_SUITE_P(Video, VideoOptions,
                         ::testing::Values(VideoCase{30, 1.0, 1000000, 31, 33333},     // today's video
                                           VideoCase{240, 1.0, 250000, 60, 4166},      // 4167 us slices
                                           VideoCase{60, 0.01, 5000, 30, 16666},       // slow motion, 167 us
                                           VideoCase{24, 10.0, 1000000, 3, 41666}),  // fast, 416 667 us
                         [](const auto& p) { return "fps" + std::to_string(p.param.fps) + "_case" + std::to_string(p.index); });

TEST(VideoOptions, BadValuesAndOtherKindsAreRefused)
{
    auto video = makeExporterFor("a.mp4");
    std::string error;
    for (const auto& [name, value] : std::vector<std::pair<const char*, const char*>>{
             {"fps", "0"}, {"fps", "241"}, {"fps", "30fps"}, {"fps", ""}, {"speed", "0.0001"}, {"speed", "101"},
             {"speed", "x"}, {"colour", "1"}}) {
        EXPECT_FALSE(video->setOption(name, value, error)) << name << "=" << value;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_TRUE(video->setOption("fps", "240", error));
    EXPECT_TRUE(video->setOption("speed", "0.001", error));
    EXPECT_FALSE(makeExporterFor("a.csv")->setOption("fps", "30", error));
}

TEST(VideoOptions, NewOptionsRefuseBadValuesAndListTheirDefaultsAndChoices)
{
    auto video = makeExporterFor("a.mp4");
    std::string error;
    for (const auto& [name, value] : std::vector<std::pair<const char*, const char*>>{
             {"accumulation_us", "0"}, {"accumulation_us", "-5"}, {"accumulation_us", "1.5"},
             {"accumulation_us", "100000001"}, {"accumulation_us", "99999999999999999999999"},
             {"mode", "surface"}, {"mode", ""}, {"theme", "blue"}, {"theme", "Dark"},
             {"time_constant_us", "99"}, {"time_constant_us", "10000001"}, {"time_constant_us", "1e4"}}) {
        EXPECT_FALSE(video->setOption(name, value, error)) << name << "=" << value;
        EXPECT_NE(error.find(value), std::string::npos) << error;
    }
    // Every listed default and choice is a value the option takes.
    size_t withChoices = 0;
    for (const ExportOption& o : video->options()) {
        if (!o.defaultValue.empty()) {
            EXPECT_TRUE(video->setOption(o.name, o.defaultValue, error)) << o.name << ": " << error;
        }
        for (const std::string& c : o.choices) EXPECT_TRUE(video->setOption(o.name, c, error)) << o.name << ": " << error;
        withChoices += o.choices.empty() ? 0 : 1;
    }
    EXPECT_EQ(withChoices, 2u);  // mode and theme
    EXPECT_FALSE(makeExporterFor("a.raw")->setOption("theme", "dark", error));
}

// ---- the look of a video ----

// Square blocks of ON events at known times, so that a frame can be asked which of them it shows.
constexpr int kBlock = 32;
struct Flash {
    int x;  // the block's left column (row 96)
    uint64_t t;
};

class VideoLook : public ::testing::Test {
protected:
    // Slices of 100 ms (10 fps at speed 1): C late in slice 0's first half, A late in slice 0, B in
    // slice 1; one event at the start and one long after the range keep the recording's span.
    static constexpr Flash C{100, 5030000}, A{300, 5090000}, B{500, 5150000};
    static constexpr uint64_t kStart = 5000000, kEnd = 5400000;

    void SetUp() override
    {
        std::vector<Event2D> events;
        events.emplace_back(uint16_t{1270}, uint16_t{710}, uint8_t{1}, kStart);
        for (const Flash& f : {C, A, B}) {
            for (int y = 96; y < 96 + kBlock; ++y)
                for (int x = f.x; x < f.x + kBlock; ++x)
                    events.emplace_back(static_cast<uint16_t>(x), static_cast<uint16_t>(y), uint8_t{1}, f.t);
        }
        events.emplace_back(uint16_t{1270}, uint16_t{710}, uint8_t{1}, uint64_t{6000000});
        test::StreamShape shape;
        test::writeBytes(dir.file("rec.raw"), test::standardRawHeader(), test::encodeStream(events, shape));
    }

    // The frames of a 10 fps export of [kStart, kEnd) with these options, as BGR24 pictures.
    std::vector<std::vector<uint8_t>> frames(const std::vector<std::pair<std::string, std::string>>& options)
    {
        RawFileReader reader(dir.file("rec.raw"));
        EXPECT_TRUE(reader.loadFile());
        auto exporter = makeExporterFor("out.mp4");
        std::string error;
        EXPECT_TRUE(exporter->setOption("fps", "10", error)) << error;
        for (const auto& [name, value] : options) EXPECT_TRUE(exporter->setOption(name, value, error)) << error;
        const std::string out = dir.file("out.mp4");
        const RecordingError e = exporter->run(reader, {kStart, kEnd}, out, nullptr, nullptr);
        EXPECT_FALSE(e) << e.message;
        Mp4FileReader video(out);
        std::vector<std::vector<uint8_t>> pictures;
        if (!video.loadFile()) return pictures;
        // A step of the decoder may hand out no picture yet.
        for (ApsFrame frame; video.getNextFrame(frame); frame = {}) {
            if (frame.data && frame.size == 1280u * 720u * 3u) pictures.emplace_back(frame.data, frame.data + frame.size);
        }
        return pictures;
    }

    // The mean of a block's pixels (all channels) in a 1280-wide BGR24 picture.
    static double blockMean(const std::vector<uint8_t>& picture, int left, int top = 96)
    {
        double sum = 0;
        for (int y = top; y < top + kBlock; ++y)
            for (int x = left; x < left + kBlock; ++x)
                for (int c = 0; c < 3; ++c) sum += picture[(static_cast<size_t>(y) * 1280 + x) * 3 + c];
        return sum / (kBlock * kBlock * 3);
    }
    static bool shows(const std::vector<uint8_t>& picture, const Flash& f)
    {
        // Grey theme: background 112, ON events about 188.
        const double m = blockMean(picture, f.x);
        EXPECT_TRUE(m < 125 || m > 175) << "a block half shown: " << m;
        return m > 150;
    }

    TempDir dir;
};

TEST_F(VideoLook, TheAccumulationWindowDecidesWhatEachFrameShows)
{
    // The default window is one slice: each frame its own slice's events; the quiet rest makes none.
    auto f = frames({});
    ASSERT_EQ(f.size(), 2u);
    EXPECT_TRUE(shows(f[0], C) && shows(f[0], A) && !shows(f[0], B));
    EXPECT_TRUE(!shows(f[1], C) && !shows(f[1], A) && shows(f[1], B));

    // 250 ms windows overlap: a flash stays for the frames whose window holds it, and frames go on
    // while a window holds events even where a slice holds none.
    f = frames({{"accumulation_us", "250000"}});
    ASSERT_EQ(f.size(), 4u);
    EXPECT_TRUE(shows(f[0], C) && shows(f[0], A) && !shows(f[0], B));
    EXPECT_TRUE(shows(f[1], C) && shows(f[1], A) && shows(f[1], B));
    EXPECT_TRUE(!shows(f[2], C) && shows(f[2], A) && shows(f[2], B));
    EXPECT_TRUE(!shows(f[3], C) && !shows(f[3], A) && shows(f[3], B));

    // 20 ms windows show only each slice's last 20 ms; a slice with events still makes its frame.
    f = frames({{"accumulation_us", "20000"}});
    ASSERT_EQ(f.size(), 2u);
    EXPECT_TRUE(!shows(f[0], C) && shows(f[0], A) && !shows(f[0], B));
    EXPECT_TRUE(!shows(f[1], C) && !shows(f[1], A) && !shows(f[1], B));
}

TEST_F(VideoLook, ThemesAndTheTimeSurfaceChangeThePicture)
{
    const auto mean = [](const std::vector<uint8_t>& p) {
        double sum = 0;
        for (const uint8_t v : p) sum += v;
        return sum / static_cast<double>(p.size());
    };
    const auto dark = frames({{"theme", "dark"}});
    const auto light = frames({{"theme", "light"}});
    ASSERT_EQ(dark.size(), 2u);
    ASSERT_EQ(light.size(), 2u);
    EXPECT_LT(mean(dark[0]), 20.0);
    EXPECT_GT(mean(light[0]), 235.0);

    // The time surface keeps C fading into the next frame, the more slowly the longer its constant.
    const auto fast = frames({{"mode", "time-surface"}, {"time_constant_us", "50000"}});
    const auto slow = frames({{"mode", "time-surface"}, {"time_constant_us", "1000000"}});
    ASSERT_EQ(fast.size(), 2u);
    ASSERT_EQ(slow.size(), 2u);
    const double background = blockMean(fast[1], 700);
    EXPECT_GT(blockMean(fast[0], C.x), blockMean(fast[1], C.x) + 10);
    EXPECT_GT(blockMean(slow[1], C.x), blockMean(fast[1], C.x) + 10);
    EXPECT_GT(blockMean(slow[1], C.x), background + 30);
    EXPECT_TRUE(shows(slow[1], B));
}

struct Quiet : ::testing::Environment {
    void SetUp() override { Logger::Instance().setMinLevel(static_cast<LogLevelType>(LOG_LEVEL_ERROR + 1)); }
};
const auto* const quiet = ::testing::AddGlobalTestEnvironment(new Quiet);

}  // namespace
}  // namespace orvane
