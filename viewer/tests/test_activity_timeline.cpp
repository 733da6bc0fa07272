// The activity strip under the slider: its profile from the index agrees with the events a read
// of the file finds in each bin, and the window shows it for a recording, following the range.
#include "MainWindowFixture.h"
#include "OvActivityTimeline.h"
#include "OvThreeHandleSlider.h"

#include "RawFileTestSupport.h"

#include "orvane/driver/DvsFileReader.h"

#include <QFile>

#include <numeric>

namespace {

class TimelineTest : public MainWindowFixture {
protected:
    QString writeRecording(uint64_t durationUs, uint64_t events)
    {
        orvane::test::StreamShape shape;
        shape.durationUs = durationUs;
        shape.events = events;
        shape.timeHighPeriodUs = 16;
        const QString path = dir.filePath("activity.raw");
        orvane::test::writeBytes(QFile::encodeName(path).toStdString(), orvane::test::standardRawHeader(),
                                 orvane::test::encodeStream(orvane::test::makeEvents(shape), shape));
        return path;
    }
};

}  // namespace

TEST_F(TimelineTest, ProfileMatchesAReadOfEachBinAndTheWindowShowsIt)
{
    const QString path = writeRecording(3'000'000, 200'000);
    auto reader = orvane::DvsFileReader::createFileReader(QFile::encodeName(path).toStdString());
    ASSERT_TRUE(reader && reader->loadFile());
    uint64_t start = 0, end = 0, total = 0;
    reader->getStartTimeStamp(start);
    reader->getEndTimeStamp(end);
    reader->getMaxEvents(total);
    for (int bins : {1, 7, OvActivityTimeline::kBins}) {
        const std::vector<uint64_t> profile = OvActivityTimeline::profileOf(*reader, start, end, bins);
        ASSERT_EQ(profile.size(), size_t(bins));
        EXPECT_EQ(std::accumulate(profile.begin(), profile.end(), uint64_t(0)), total) << bins;
        // Each bin against what a read of its span returns, from a reader of its own.
        auto check = orvane::DvsFileReader::createFileReader(QFile::encodeName(path).toStdString());
        ASSERT_TRUE(check && check->loadFile());
        const long double span = static_cast<long double>(end - start) + 1.0L;
        uint64_t from = start;
        for (int i = 0; i < bins; ++i) {
            const uint64_t to = i + 1 == bins ? end + 1 : start + uint64_t(span * (i + 1) / bins);
            const auto events = check->getNTimeEventsGivenStartTimeStamp(from, to - from);
            ASSERT_EQ(profile[size_t(i)], events ? events->size() : 0u) << "bin " << i << " of " << bins;
            from = to;
        }
    }
    // The recording has quiet stretches and bursts: the profile is not flat.
    const auto profile = OvActivityTimeline::profileOf(*reader, start, end);
    EXPECT_GT(*std::max_element(profile.begin(), profile.end()), 2 * total / profile.size());

    ASSERT_TRUE(window->openRecordingPath(path));
    OvActivityTimeline* timeline = window->activityTimeline();
    EXPECT_TRUE(timeline->isVisible());
    EXPECT_EQ(timeline->profile(), profile);
    // The strip is grabbed with the range lit: a pixel under a burst inside the range is the bar colour.
    window->timeSlider()->setLowerValue(qint64(start + (end - start) / 2));
    const QImage picture = timeline->grab().toImage();
    const size_t peak = size_t(std::max_element(profile.begin(), profile.end()) - profile.begin());
    const int x = OvActivityTimeline::kMargin +
                  int((timeline->width() - 2 * OvActivityTimeline::kMargin) * (peak + 0.5) / profile.size());
    const QColor bar = picture.pixelColor(x, timeline->height() - 2);
    EXPECT_EQ(bar, peak >= profile.size() / 2 ? QColor(0x2F, 0x7A, 0x99) : QColor(0xA8, 0xB8, 0xC0)) << x;
}
