// The mp4 frame reader on files of our own encoder and on mp4s made by the ffmpeg tool (other time
// bases, B-frames, no video at all).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "orvane/driver/ApsFileReader.h"
#include "orvane/driver/DataToVideoConverter.h"
#include "orvane/driver/Mp4FileReader.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

class Mp4FileReaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "orvane-mp4-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string file(const std::string& name) const { return (dir_ / name).string(); }

    // `count` grey BGR frames from our encoder, frame i at level 40 + 6 i, times 0, 33333 ...
    std::string writeOwnVideo(int count, int width = 320, int height = 240)
    {
        const std::string path = file("own.mp4");
        DataToVideoConverter converter;
        converter.setConverterFrameSize(height, width, height, width);
        converter.setConverterFmt(VIDEO_PIX_FMT_BGR24, VIDEO_PIX_FMT_YUV420P);
        EXPECT_EQ(converter.initVideoConverter(path), 0);
        std::vector<uint8_t> image(static_cast<size_t>(width) * height * 3);
        for (int i = 0; i < count; ++i) {
            std::fill(image.begin(), image.end(), static_cast<uint8_t>(40 + 6 * i));
            EXPECT_EQ(converter.rgbToVideo(image.data()), 0);
        }
        EXPECT_EQ(converter.flushAndCloseVideo(), 0);
        return path;
    }

    static bool haveFfmpeg() { return std::system("ffmpeg -version >/dev/null 2>&1") == 0; }

    static bool ffmpeg(const std::string& args)
    {
        return std::system(("ffmpeg -v error -y " + args + " </dev/null").c_str()) == 0;
    }

    static double brightness(const ApsFrame& frame)
    {
        return std::accumulate(frame.data, frame.data + frame.size, 0.0) / frame.size;
    }

    fs::path dir_;
};

TEST_F(Mp4FileReaderTest, FactoryTakesExactlyTheMp4Extension)
{
    const struct {
        const char* path;
        bool reader;
    } cases[] = {
        {"rec.mp4", true}, {"/data/a.b/rec.mp4", true}, {"rec.MP4", false}, {"rec.mp4.bak", false},
        {"rec", false},    {"dir.mp4/rec", false},      {".mp4", true},     {"rec.raw", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ApsFileReader::createFileReader(c.path) != nullptr, c.reader) << c.path;
}

TEST_F(Mp4FileReaderTest, ListsTimesAndFindsEachFrameByIndex)
{
    const std::string path = writeOwnVideo(5);
    auto reader = ApsFileReader::createFileReader(path);
    ASSERT_TRUE(reader);
    ASSERT_TRUE(reader->loadFile());
    EXPECT_EQ(reader->getWidth(), 320);
    EXPECT_EQ(reader->getHeight(), 240);
    std::vector<uint64_t> times{12345};
    EXPECT_TRUE(reader->getTimeStamps(times));
    ASSERT_EQ(times, (std::vector<uint64_t>{0, 33333, 66666, 99999, 133332}));

    // Out of order on purpose; 99999 µs is the time a double-precision conversion makes 99998.
    for (int n : {1, 3, 0, 4, 2, 3}) {
        ApsFrame frame;
        frame.fallTimestamp = 77;
        ASSERT_TRUE(reader->getNFrame(n, frame)) << "index " << n;
        ASSERT_NE(frame.data, nullptr);
        EXPECT_EQ(frame.size, 320u * 240u * 3u);
        EXPECT_EQ(frame.timestamp, times[n]);
        EXPECT_EQ(frame.fallTimestamp, 0u);
        EXPECT_NEAR(brightness(frame), 40 + 6 * n, 4.0) << "index " << n;
    }
    ApsFrame untouched;
    EXPECT_THROW(reader->getNFrame(5, untouched), std::out_of_range);
    EXPECT_THROW(reader->getNFrame(-1, untouched), std::out_of_range);
    EXPECT_EQ(untouched.data, nullptr);
}

TEST_F(Mp4FileReaderTest, ReadsSequentiallyToTheEndAndContinuesAfterALookup)
{
    const std::string path = writeOwnVideo(4);
    auto reader = ApsFileReader::createFileReader(path);
    ASSERT_TRUE(reader && reader->loadFile());

    auto readRest = [&] {
        std::vector<uint64_t> seen;
        ApsFrame frame;
        frame.fallTimestamp = 5;
        while (reader->getNextFrame(frame)) {
            if (frame.data && (seen.empty() || seen.back() != frame.timestamp))
                seen.push_back(frame.timestamp);
        }
        EXPECT_EQ(frame.fallTimestamp, 5u);  // sequential reading leaves it alone
        return seen;
    };
    EXPECT_EQ(readRest(), (std::vector<uint64_t>{0, 33333, 66666, 99999}));
    ApsFrame frame;
    EXPECT_FALSE(reader->getNextFrame(frame));  // stays at the end
    EXPECT_EQ(frame.data, nullptr);

    ASSERT_TRUE(reader->getNFrame(1, frame));
    EXPECT_EQ(readRest(), (std::vector<uint64_t>{66666, 99999}));
}

// Decoding runs on several threads, which hand pictures out packets later: a longer video still
// gives every frame once, in order, and a lookup far into it its own picture.
TEST_F(Mp4FileReaderTest, EveryFrameOfALongerVideoComesBackOnceWithItsTime)
{
    constexpr int kFrames = 30;
    const std::string path = writeOwnVideo(kFrames, 64, 48);
    Mp4FileReader reader(path);
    ASSERT_TRUE(reader.loadFile());
    std::vector<uint64_t> times;
    reader.getTimeStamps(times);
    ASSERT_EQ(times.size(), static_cast<size_t>(kFrames));

    for (int round = 0; round < 2; ++round) {
        std::vector<uint64_t> seen;
        std::vector<double> levels;
        ApsFrame frame;
        while (reader.getNextFrame(frame)) {
            if (frame.data && (seen.empty() || seen.back() != frame.timestamp)) {
                seen.push_back(frame.timestamp);
                levels.push_back(brightness(frame));
            }
        }
        EXPECT_EQ(seen, times) << "round " << round;
        for (size_t i = 0; i < levels.size(); ++i) EXPECT_NEAR(levels[i], 40 + 6.0 * i, 4.0) << "frame " << i;
        ASSERT_TRUE(reader.getNFrame(kFrames - 1, frame));
        EXPECT_NEAR(brightness(frame), 40 + 6 * (kFrames - 1), 4.0);
        ASSERT_TRUE(reader.getNFrame(0, frame));  // the next round reads on from frame 1
        times.erase(times.begin());
    }
}

TEST_F(Mp4FileReaderTest, AnEmptyVideoHasNoVideoTrackAndDoesNotLoad)
{
    // The mp4 muxer writes no track for a stream without samples: the file is valid but holds no
    // video, so there are no frames to replay.
    const std::string path = writeOwnVideo(0);
    auto reader = ApsFileReader::createFileReader(path);
    ASSERT_TRUE(reader);
    EXPECT_FALSE(reader->loadFile());
    std::vector<uint64_t> times{1};
    reader->getTimeStamps(times);
    EXPECT_TRUE(times.empty());
    ApsFrame frame;
    EXPECT_FALSE(reader->getNextFrame(frame));
}

TEST_F(Mp4FileReaderTest, FilesWithoutAReadableVideoDoNotLoad)
{
    const std::string garbage = file("garbage.mp4");
    std::ofstream(garbage) << std::string(4096, 'x');
    const std::string truncated = file("truncated.mp4");
    {
        const std::string own = writeOwnVideo(3);
        std::ifstream in(own, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(truncated, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    }
    for (const std::string& path : {file("missing.mp4"), garbage, truncated}) {
        Mp4FileReader reader(path);
        EXPECT_FALSE(reader.loadFile()) << path;
        ApsFrame frame;
        EXPECT_FALSE(reader.getNextFrame(frame)) << path;
        EXPECT_THROW(reader.getNFrame(0, frame), std::out_of_range) << path;
    }

    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed: no audio-only mp4 to try";
    const std::string audio = file("audio.mp4");
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=frequency=440:duration=0.5 -c:a aac '" + audio + "'"));
    Mp4FileReader reader(audio);
    EXPECT_FALSE(reader.loadFile());
}

TEST_F(Mp4FileReaderTest, ReadsAForeignH264WithBFramesAndAnotherTimeBase)
{
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed: no foreign mp4 to read";
    const std::string path = file("foreign.mp4");
    // 25 fps with B-frames and an audio track: times in 1/12800, packets in decode order, a decoder
    // that holds pictures back until the end.
    ASSERT_TRUE(
        ffmpeg("-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=duration=1 -frames:v 12 "
               "-c:v libx264 -bf 2 -g 6 -pix_fmt yuv420p -c:a aac -shortest '" +
               path + "'"));
    Mp4FileReader reader(path);
    ASSERT_TRUE(reader.loadFile());
    EXPECT_EQ(reader.getWidth(), 320);
    std::vector<uint64_t> times;
    reader.getTimeStamps(times);
    ASSERT_EQ(times.size(), 12u);

    std::vector<uint64_t> seen;
    ApsFrame frame;
    while (reader.getNextFrame(frame)) {
        if (frame.data && (seen.empty() || seen.back() != frame.timestamp)) seen.push_back(frame.timestamp);
    }
    std::vector<uint64_t> expected;
    for (uint64_t i = 0; i < 12; ++i) expected.push_back(i * 40000);  // 25 fps in µs
    EXPECT_EQ(seen, expected);

    // Any entry of the list finds its picture, whatever the time base.
    for (int n : {7, 0, 11}) {
        ASSERT_TRUE(reader.getNFrame(n, frame)) << "index " << n;
        EXPECT_EQ(frame.timestamp * 12800 / 1000000, times[n]) << "index " << n;
    }
}

}  // namespace
}  // namespace orvane
