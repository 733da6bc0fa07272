// The exporters: each kind is found by its output's extension; CSV and HDF5 give exactly the events
// (and HDF5 the trigger edges) a read of the range gives, HDF5's ms_to_idx agrees with the times; a
// failure or a cancel leaves no file, whatever the kind.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>

#ifdef ORVANE_WITH_HDF5
#include <hdf5.h>
#endif

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

// Limits the size of the files this process writes while it lives: writes past it fail with EFBIG,
// as on a full disk, instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ok_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    bool ok() const { return ok_; }

private:
    rlimit saved_{};
    void (*previous_)(int) = SIG_DFL;
    bool ok_ = false;
};

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

struct Quiet : ::testing::Environment {
    void SetUp() override { Logger::Instance().setMinLevel(static_cast<LogLevelType>(LOG_LEVEL_ERROR + 1)); }
};
const auto* const quiet = ::testing::AddGlobalTestEnvironment(new Quiet);

}  // namespace
}  // namespace orvane
