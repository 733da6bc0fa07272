// The H.264 encoder, checked by reading its files back: with our own mp4 reader and, where the tool
// is installed, with ffprobe (what any player sees).
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <numeric>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "FileSizeLimit.h"
#include "orvane/driver/ApsFileReader.h"
#include "orvane/driver/DataToVideoConverter.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "orvane-video-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

bool haveFfprobe()
{
    return std::system("ffprobe -version >/dev/null 2>&1") == 0;
}

// Output of a command, or empty when it failed.
std::string run(const std::string& command)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) out.append(buffer, n);
    return pclose(pipe) == 0 ? out : std::string();
}

// Presentation times of the decoded frames as ffprobe sees them, in the stream's time base.
std::vector<uint64_t> probeFrameTimes(const std::string& path)
{
    std::vector<uint64_t> times;
    const std::string out =
        run("ffprobe -v error -select_streams v:0 -show_entries frame=pts -of csv=p=0 '" + path + "'");
    size_t pos = 0;
    while (pos < out.size()) {
        const size_t end = out.find('\n', pos);
        const std::string line = out.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (!line.empty()) times.push_back(std::stoull(line));
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    return times;
}

std::string probeStream(const std::string& path, const std::string& entries)
{
    return run("ffprobe -v error -select_streams v:0 -show_entries stream=" + entries +
               " -of default=nw=1:nk=1 '" + path + "'");
}

std::shared_ptr<DataToVideoConverter> makeConverter(int width, int height, int32_t srcFmt)
{
    auto converter = std::make_shared<DataToVideoConverter>();
    converter->setConverterFrameSize(height, width, height, width);
    converter->setConverterFmt(srcFmt, VIDEO_PIX_FMT_YUV420P);
    return converter;
}

// Everything our reader decodes, in order: the timestamps and the mean byte of each picture.
struct ReadBack {
    std::vector<uint64_t> listed;
    std::vector<uint64_t> decoded;
    std::vector<double> brightness;
};

ReadBack readAll(const std::string& path)
{
    ReadBack result;
    auto reader = ApsFileReader::createFileReader(path);
    if (!reader || !reader->loadFile()) return result;
    reader->getTimeStamps(result.listed);
    ApsFrame frame;
    bool first = true;
    uint64_t last = 0;
    while (reader->getNextFrame(frame)) {
        if (!frame.data || (!first && frame.timestamp == last)) continue;
        first = false;
        last = frame.timestamp;
        result.decoded.push_back(frame.timestamp);
        result.brightness.push_back(std::accumulate(frame.data, frame.data + frame.size, 0.0) / frame.size);
    }
    return result;
}

std::vector<uint64_t> sequence(size_t n)
{
    std::vector<uint64_t> times;
    for (size_t i = 0; i < n; ++i) times.push_back(i * 33333u);
    return times;
}

// Frame counts whose last frame time lands on a whole millisecond (1 frame: 0 µs) are the ones the
// muxer used to cut.
class BgrFrames : public ::testing::TestWithParam<int> {};

TEST_P(BgrFrames, EveryFrameIsReadBackWithItsExactTimeAndPicture)
{
    TempDir dir;
    const std::string path = dir.file("out.mp4");
    const int count = GetParam();
    const int width = 1280, height = 720;
    auto converter = makeConverter(width, height, VIDEO_PIX_FMT_BGR24);
    ASSERT_EQ(converter->initVideoConverter(path), 0);
    std::vector<uint8_t> image(static_cast<size_t>(width) * height * 3);
    for (int i = 0; i < count; ++i) {
        std::fill(image.begin(), image.end(), static_cast<uint8_t>(40 + 6 * i));
        ASSERT_EQ(converter->rgbToVideo(image.data()), 0) << "frame " << i;
    }
    EXPECT_EQ(converter->nextPts(), count * 33333);
    ASSERT_EQ(converter->flushAndCloseVideo(), 0);

    const ReadBack back = readAll(path);
    EXPECT_EQ(back.listed, sequence(count));
    EXPECT_EQ(back.decoded, sequence(count));
    ASSERT_EQ(back.brightness.size(), static_cast<size_t>(count));
    // Frames 6 levels apart; the colour round trip shifts a grey by up to 4.
    for (int i = 0; i < count; ++i) EXPECT_NEAR(back.brightness[i], 40 + 6 * i, 4.0) << "frame " << i;

    if (!haveFfprobe()) GTEST_SKIP() << "ffprobe not installed: checked with our reader only";
    EXPECT_EQ(probeFrameTimes(path), sequence(count));
    EXPECT_EQ(probeStream(path, "codec_name,width,height,pix_fmt"), "h264\n1280\n720\nyuv420p\n");
}

INSTANTIATE_TEST_SUITE_P(Counts, BgrFrames, ::testing::Values(1, 3, 31));

TEST(VideoEncoder, Nv12At3840x2160WithExplicitTimesThenTheSequenceGoesOn)
{
    TempDir dir;
    const std::string path = dir.file("aps.mp4");
    const int width = 3840, height = 2160;
    auto converter = std::make_shared<DataToVideoConverter>();  // 3840 x 2160 is the default size
    converter->setConverterFmt(VIDEO_PIX_FMT_NV12, VIDEO_PIX_FMT_YUV420P);
    ASSERT_EQ(converter->initVideoConverter(path), 0);
    std::vector<uint8_t> image(static_cast<size_t>(width) * height * 3 / 2, 128);
    const std::vector<int64_t> given = {0, 40000, 100000, -1};
    for (size_t i = 0; i < given.size(); ++i) {
        std::fill(image.begin(), image.begin() + width * height, static_cast<uint8_t>(60 + 40 * i));
        ASSERT_EQ(converter->nv12ToViedo(image.data(), given[i]), 0) << "frame " << i;
    }
    ASSERT_EQ(converter->flushAndCloseVideo(), 0);

    const std::vector<uint64_t> expected = {0, 40000, 100000, 133333};
    const ReadBack back = readAll(path);
    EXPECT_EQ(back.listed, expected);
    EXPECT_EQ(back.decoded, expected);
    if (!haveFfprobe()) GTEST_SKIP() << "ffprobe not installed: checked with our reader only";
    EXPECT_EQ(probeFrameTimes(path), expected);
    EXPECT_EQ(probeStream(path, "width,height,pix_fmt"), "3840\n2160\nyuv420p\n");
}

TEST(VideoEncoder, ImplicitTimesPassTwoToThe31MicrosecondsWithoutWrapping)
{
    TempDir dir;
    const std::string path = dir.file("long.mp4");
    auto converter = makeConverter(320, 240, VIDEO_PIX_FMT_NV12);
    ASSERT_EQ(converter->initVideoConverter(path), 0);
    std::vector<uint8_t> image(320 * 240 * 3 / 2, 100);
    const int64_t start = (int64_t{1} << 31) - 40000;  // 35.8 minutes in
    ASSERT_EQ(converter->nv12ToViedo(image.data(), start), 0);
    ASSERT_EQ(converter->nv12ToViedo(image.data(), -1), 0);
    ASSERT_EQ(converter->nv12ToViedo(image.data(), -1), 0);
    ASSERT_EQ(converter->flushAndCloseVideo(), 0);
    const std::vector<uint64_t> expected = {uint64_t(start), uint64_t(start + 33333),
                                            uint64_t(start + 66666)};
    EXPECT_EQ(readAll(path).decoded, expected);
}

TEST(VideoEncoder, ExplicitTimesThatDoNotIncreaseAreRefusedAndTheFileStaysGood)
{
    TempDir dir;
    const std::string path = dir.file("order.mp4");
    auto converter = makeConverter(320, 240, VIDEO_PIX_FMT_NV12);
    ASSERT_EQ(converter->initVideoConverter(path), 0);
    std::vector<uint8_t> image(320 * 240 * 3 / 2, 100);
    EXPECT_EQ(converter->nv12ToViedo(image.data(), 50000), 0);
    EXPECT_EQ(converter->nv12ToViedo(image.data(), 50000), -1);
    EXPECT_EQ(converter->nv12ToViedo(image.data(), 10000), -1);
    EXPECT_EQ(converter->nv12ToViedo(image.data(), -7), -1);
    EXPECT_EQ(converter->nv12ToViedo(image.data(), -1), 0);
    ASSERT_EQ(converter->flushAndCloseVideo(), 0);
    EXPECT_EQ(readAll(path).decoded, (std::vector<uint64_t>{50000, 83333}));
}

TEST(VideoEncoder, WrongSourceFormatIsRefusedAndNothingIsEncoded)
{
    TempDir dir;
    const std::string path = dir.file("wrong.mp4");
    std::vector<uint8_t> image(320 * 240 * 3, 90);
    auto nv12 = makeConverter(320, 240, VIDEO_PIX_FMT_NV12);
    ASSERT_EQ(nv12->initVideoConverter(path), 0);
    EXPECT_EQ(nv12->rgbToVideo(image.data()), -1);
    EXPECT_EQ(nv12->nextPts(), 0);
    ASSERT_EQ(nv12->flushAndCloseVideo(), 0);
    EXPECT_TRUE(readAll(path).decoded.empty());

    auto bgr = makeConverter(320, 240, VIDEO_PIX_FMT_BGR24);
    ASSERT_EQ(bgr->initVideoConverter(dir.file("wrong2.mp4")), 0);
    EXPECT_EQ(bgr->nv12ToViedo(image.data(), -1), -1);
    EXPECT_EQ(bgr->nv12ToViedo(image.data(), 0), -1);
}

TEST(VideoEncoder, FlushRightAfterInitWritesAValidEmptyVideo)
{
    TempDir dir;
    const std::string path = dir.file("empty.mp4");
    auto converter = makeConverter(1280, 720, VIDEO_PIX_FMT_BGR24);
    ASSERT_EQ(converter->initVideoConverter(path), 0);
    ASSERT_EQ(converter->flushAndCloseVideo(), 0);
    ASSERT_TRUE(fs::is_regular_file(path));
    EXPECT_GT(fs::file_size(path), 0u);
    if (!haveFfprobe()) GTEST_SKIP() << "ffprobe not installed";
    EXPECT_EQ(run("ffprobe -v error -show_entries format=format_name -of default=nw=1:nk=1 '" + path + "'"),
              "mov,mp4,m4a,3gp,3g2,mj2\n");
    EXPECT_TRUE(probeFrameTimes(path).empty());
}

TEST(VideoEncoder, CallsOutOfOrderFailInsteadOfCrashing)
{
    TempDir dir;
    std::vector<uint8_t> image(320 * 240 * 3, 0);
    auto converter = makeConverter(320, 240, VIDEO_PIX_FMT_BGR24);
    EXPECT_EQ(converter->rgbToVideo(image.data()), -1);  // before init
    EXPECT_EQ(converter->flushAndCloseVideo(), -1);
    ASSERT_EQ(converter->initVideoConverter(dir.file("a.mp4")), 0);
    EXPECT_EQ(converter->initVideoConverter(dir.file("b.mp4")), -1);  // one file per converter
    EXPECT_EQ(converter->rgbToVideo(nullptr), -1);
    ASSERT_EQ(converter->flushAndCloseVideo(), 0);
    EXPECT_EQ(converter->rgbToVideo(image.data()), -1);  // after close
    EXPECT_EQ(converter->flushAndCloseVideo(), -1);
    EXPECT_FALSE(fs::exists(dir.file("b.mp4")));
}

struct InitFailure {
    const char* name;
    std::string file;  // relative to the temp dir
    int width;
    int height;
    friend void PrintTo(const InitFailure& failure, std::ostream* os) { *os << failure.name; }
};

class VideoInitFailure : public ::testing::TestWithParam<InitFailure> {};

TEST_P(VideoInitFailure, FailsAndLeavesNoFile)
{
    TempDir dir;
    const std::string path = dir.file(GetParam().file);
    auto converter = makeConverter(GetParam().width, GetParam().height, VIDEO_PIX_FMT_BGR24);
    EXPECT_EQ(converter->initVideoConverter(path), -1);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(converter->flushAndCloseVideo(), -1);
}

INSTANTIATE_TEST_SUITE_P(Cases, VideoInitFailure,
                         ::testing::Values(InitFailure{"UnknownContainer", "out.notavideo", 320, 240},
                                           InitFailure{"MissingFolder", "missing/out.mp4", 320, 240},
                                           // 4:2:0 needs even sizes.
                                           InitFailure{"OddSize", "odd.mp4", 321, 240},
                                           InitFailure{"OddHeight", "odd.mp4", 320, 241},
                                           InitFailure{"NoSize", "none.mp4", 0, 0}),
                         [](const ::testing::TestParamInfo<InitFailure>& param) {
                             return std::string(param.param.name);
                         });

using test::FileSizeLimit;

TEST(VideoEncoder, AFailedWriteFailsTheFlushAndRemovesThePartialFile)
{
    TempDir dir;
    const std::string path = dir.file("big.mp4");
    auto converter = makeConverter(640, 480, VIDEO_PIX_FMT_BGR24);
    std::vector<uint8_t> image(640 * 480 * 3);
    uint32_t seed = 1;
    {
        FileSizeLimit limit(256 * 1024);
        ASSERT_TRUE(limit.ok());
        ASSERT_EQ(converter->initVideoConverter(path), 0);
        for (int i = 0; i < 10; ++i) {
            // Noise does not compress: ten frames at 60 Mbit/s pass the limit.
            for (auto& byte : image)
                byte = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
            converter->rgbToVideo(image.data());
        }
        EXPECT_EQ(converter->flushAndCloseVideo(), -1);
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST(VideoEncoder, AFailedWriteToADeviceLeavesTheDeviceAlone)
{
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full to make writes fail";
    TempDir dir;
    const std::string path = dir.file("full.mp4");
    fs::create_symlink("/dev/full", path);
    auto converter = makeConverter(640, 480, VIDEO_PIX_FMT_BGR24);
    EXPECT_EQ(converter->initVideoConverter(path), -1);  // the header write already fails
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    EXPECT_TRUE(fs::is_symlink(path));
}

TEST(VideoEncoder, MetadataSetBeforeOrAfterInitIsInTheFile)
{
    TempDir dir;
    const std::string path = dir.file("meta.mp4");
    auto converter = makeConverter(320, 240, VIDEO_PIX_FMT_NV12);
    converter->setMetadata("early", "1");
    converter->setMetadata("dropped", "x");
    converter->setMetadata("dropped", "");
    ASSERT_EQ(converter->initVideoConverter(path), 0);
    std::vector<uint8_t> image(320 * 240 * 3 / 2, 100);
    ASSERT_EQ(converter->nv12ToViedo(image.data(), 0), 0);
    // The fusion recording learns the first frame's DVS time only when that frame arrives.
    converter->setMetadata(kVideoDvsOffsetKey, "9876543210");
    ASSERT_EQ(converter->flushAndCloseVideo(), 0);

    auto reader = ApsFileReader::createFileReader(path);
    ASSERT_TRUE(reader && reader->loadFile());
    EXPECT_EQ(reader->getMetadata(kVideoDvsOffsetKey), "9876543210");
    EXPECT_EQ(reader->getMetadata("early"), "1");
    EXPECT_EQ(reader->getMetadata("dropped"), "");
    if (!haveFfprobe()) GTEST_SKIP() << "ffprobe not installed";
    EXPECT_EQ(run("ffprobe -v error -show_entries format_tags=" + std::string(kVideoDvsOffsetKey) +
                  " -of csv=p=0 '" + path + "'"),
              "9876543210\n");
}

TEST(VideoEncoder, Nv12ToRgbConvertsAndRefusesAConverterOfOtherFormats)
{
    const int width = 64, height = 32;
    std::vector<uint8_t> nv12(width * height * 3 / 2, 128);  // neutral chroma
    std::fill(nv12.begin(), nv12.begin() + width * height, 200);
    std::vector<uint8_t> bgr(width * height * 3, 0);
    DataToVideoConverter converter;
    converter.setConverterFrameSize(height, width, height, width);
    converter.setConverterFmt(VIDEO_PIX_FMT_NV12, VIDEO_PIX_FMT_BGR24);
    ASSERT_EQ(converter.nv12ToRGB(nv12.data(), bgr.data()), 0);
    for (size_t i = 0; i < bgr.size(); ++i)
        ASSERT_NEAR(bgr[i], 214, 3) << "byte " << i;  // Y 200 in limited range

    // A random image: each pixel as the BT.601 limited-range formulas give it, chroma shared by
    // each 2x2 block (a swapped or misaligned chroma plane would be far off).
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> byte(16, 235);
    for (uint8_t& v : nv12) v = static_cast<uint8_t>(byte(rng));
    ASSERT_EQ(converter.nv12ToRGB(nv12.data(), bgr.data()), 0);
    const auto clamp = [](double v) { return std::clamp(v, 0.0, 255.0); };
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c) {
            const double y = 1.164 * (nv12[r * width + c] - 16);
            const size_t uv = static_cast<size_t>(width * height + (r / 2) * width + (c / 2) * 2);
            const double u = nv12[uv] - 128, v = nv12[uv + 1] - 128;
            const uint8_t* px = &bgr[(static_cast<size_t>(r) * width + c) * 3];
            ASSERT_NEAR(px[0], clamp(y + 2.017 * u), 3) << r << "," << c;
            ASSERT_NEAR(px[1], clamp(y - 0.392 * u - 0.813 * v), 3) << r << "," << c;
            ASSERT_NEAR(px[2], clamp(y + 1.596 * v), 3) << r << "," << c;
        }
    }

    DataToVideoConverter yuv;
    yuv.setConverterFrameSize(height, width, height, width);
    yuv.setConverterFmt(VIDEO_PIX_FMT_NV12, VIDEO_PIX_FMT_YUV420P);
    EXPECT_EQ(yuv.nv12ToRGB(nv12.data(), bgr.data()), -1);
}

}  // namespace
}  // namespace orvane
