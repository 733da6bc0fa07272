// The three-handle timeline: value rules and signal order, mouse drags and clicks, the disabled
// palette, and absolute microsecond times far past 2^31.
#include "OvThreeHandleSlider.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>

#include <limits>

#include <gtest/gtest.h>

namespace {

// 1032 px wide: 6 px outer handles and a 20 px middle handle leave exactly 1000 px of track.
constexpr int kWidth = 1032;
constexpr int kTrack = 1000;
constexpr int kLead = 6 + 10;  // x of the middle handle's centre at the minimum

struct Timeline : ::testing::Test {
    OvThreeHandleSlider slider;
    QStringList log;

    void SetUp() override
    {
        slider.resize(kWidth, 30);
        slider.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider));
        QObject::connect(&slider, &OvThreeHandleSlider::lowerValueChanged, [this](qint64 v) { log << QString("lower %1").arg(v); });
        QObject::connect(&slider, &OvThreeHandleSlider::upperValueChanged, [this](qint64 v) { log << QString("upper %1").arg(v); });
        QObject::connect(&slider, &OvThreeHandleSlider::rangeChanged, [this](qint64 a, qint64 b) { log << QString("range %1 %2").arg(a).arg(b); });
        QObject::connect(&slider, &OvThreeHandleSlider::centerValueChanged, [this](qint64 v) { log << QString("center %1").arg(v); });
        QObject::connect(&slider, &OvThreeHandleSlider::centerValueTrackClick, [this](qint64 v) { log << QString("click %1").arg(v); });
        QObject::connect(&slider, &OvThreeHandleSlider::centerValueMove, [this](qint64 v) { log << QString("move %1").arg(v); });
    }

    void setRange(qint64 lo, qint64 hi)
    {
        slider.setMinimum(lo);
        slider.setMaximum(hi);
        log.clear();
    }

    // Mouse events carry the held buttons, which QTest's move does not always set.
    void send(QEvent::Type type, int x, Qt::MouseButtons buttons)
    {
        const QPointF local(x, 15);
        QMouseEvent e(type, local, slider.mapToGlobal(local), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(&slider, &e);
    }
    void press(int x) { send(QEvent::MouseButtonPress, x, Qt::LeftButton); }
    void move(int x) { send(QEvent::MouseMove, x, Qt::LeftButton); }
    void release(int x) { send(QEvent::MouseButtonRelease, x, Qt::NoButton); }
    void drag(int from, int to)
    {
        press(from);
        move(to);
        release(to);
    }
};

}  // namespace

TEST_F(Timeline, RangeResetsInSignalOrderAndValuesStayInside)
{
    EXPECT_EQ(slider.minimum(), 0);
    EXPECT_EQ(slider.maximum(), -1);
    EXPECT_EQ(slider.centerValue(), 0);

    slider.setMaximum(5000);
    EXPECT_EQ(log, QStringList({"lower 0", "upper 5000", "range 0 5000"}));
    EXPECT_EQ(slider.lowerValue(), 0);
    EXPECT_EQ(slider.upperValue(), 5000);

    log.clear();
    slider.setLowerValue(1000);
    slider.setUpperValue(4000);
    slider.setCenterValue(4500);  // beyond upper
    EXPECT_EQ(slider.centerValue(), 4000);
    slider.setCenterValue(10);  // below lower
    EXPECT_EQ(slider.centerValue(), 1000);
    slider.setCenterValue(3000);
    slider.setUpperValue(2000);  // never below the middle handle
    EXPECT_EQ(slider.upperValue(), 3000);
    slider.setUpperValue(9000);
    EXPECT_EQ(slider.upperValue(), 5000);
    slider.setLowerValue(-7);
    EXPECT_EQ(slider.lowerValue(), 0);
    EXPECT_EQ(log, QStringList({"lower 1000", "upper 4000", "center 4000", "center 1000", "center 3000",
                                "upper 3000", "upper 5000", "lower 0"}));
}

TEST_F(Timeline, ShrinkingTheRangeBringsTheCenterAlong)
{
    setRange(0, 10000);
    slider.setCenterValue(9000);
    log.clear();
    // The upper value may not go below the center: a center left past the new maximum must not
    // keep the upper value outside the range.
    slider.setMaximum(5000);
    EXPECT_EQ(slider.upperValue(), 5000);
    EXPECT_EQ(slider.centerValue(), 5000);
    EXPECT_EQ(log, QStringList({"lower 0", "upper 5000", "range 0 5000", "center 5000"}));
}

TEST_F(Timeline, MiddleHandleAloneOutsideModeThree)
{
    setRange(100, 900);
    slider.setLowerValue(300);
    slider.setCenterValue(500);
    slider.setHandleMode(1);
    EXPECT_TRUE(log.endsWith("center 500"));  // the mode change itself is silent
    EXPECT_EQ(slider.lowerValue(), 100);
    EXPECT_EQ(slider.upperValue(), 900);
    slider.setUpperValue(200);  // no middle-handle rule outside mode 3
    EXPECT_EQ(slider.upperValue(), 900);  // the getter still reports the whole range
    slider.setCenterValue(50);
    EXPECT_EQ(slider.centerValue(), 100);

    // Where the lower handle would be there is only track: a press there is a click.
    setRange(0, 1000);
    press(3);
    release(3);
    EXPECT_EQ(log, QStringList({"center 0", "click 0"}));

    slider.setHandleMode(3);
    EXPECT_EQ(slider.lowerValue(), 0);
    EXPECT_EQ(slider.upperValue(), 1000);
}

TEST_F(Timeline, TrackClickMovesTheMiddleHandle)
{
    setRange(0, 1000);
    press(kLead + 250);
    release(kLead + 250);
    EXPECT_EQ(log, QStringList({"center 250", "click 250"}));
    EXPECT_EQ(slider.centerHandleRect().center().x() + 1, kLead + 250);  // centred under the pointer

    // Inside a narrowed range a click beside it stops at its end.
    slider.setLowerValue(400);
    slider.setUpperValue(600);
    log.clear();
    press(kLead + 900);
    release(kLead + 900);
    EXPECT_EQ(log, QStringList({"center 600", "click 600"}));
}

TEST_F(Timeline, DraggingTheOuterHandlesStopsAtTheMiddleOne)
{
    setRange(0, 1000);
    slider.setCenterValue(500);
    log.clear();

    // Lower handle: grabbed at its middle, pulled far past the middle handle.
    const int lowerGrip = slider.lowerHandleRect().center().x();
    press(lowerGrip);
    move(lowerGrip + 200);
    EXPECT_EQ(slider.lowerValue(), 200);
    move(lowerGrip + 900);
    EXPECT_EQ(slider.lowerValue(), 500);
    release(lowerGrip + 900);

    slider.setLowerValue(0);
    const int upperGrip = slider.upperHandleRect().center().x();
    press(upperGrip);
    move(upperGrip - 100);
    EXPECT_EQ(slider.upperValue(), 900);
    move(0);
    EXPECT_EQ(slider.upperValue(), 500);
    release(0);
    EXPECT_EQ(slider.centerValue(), 500);

    // After the release a move does nothing.
    const QStringList before = log;
    move(upperGrip);
    EXPECT_EQ(log, before);
}

TEST_F(Timeline, DraggingTheMiddleHandleStaysBetweenTheOuterOnes)
{
    setRange(0, 1000);
    slider.setLowerValue(200);
    slider.setUpperValue(800);
    slider.setCenterValue(500);
    log.clear();

    const int grip = slider.centerHandleRect().center().x();
    press(grip);
    move(grip + 100);
    EXPECT_EQ(slider.centerValue(), 600);
    EXPECT_EQ(log, QStringList({"center 600", "move 600"}));
    log.clear();
    move(grip + 310);  // still between the handles, but past the range: limited to upper
    EXPECT_EQ(log, QStringList({"center 800", "move 800"}));
    log.clear();
    move(kWidth - 2);  // beyond the upper handle: the center stays
    EXPECT_EQ(log, QStringList({"center 800"}));
    release(kWidth - 2);
}

TEST_F(Timeline, DisabledSliderIsPaintedGrey)
{
    setRange(0, 1000);
    slider.setCenterValue(800);
    const QPoint spanPixel(kLead + 300, 15);  // between the lower handle and the middle one
    const QPoint knobPixel = slider.centerHandleRect().center();
    const QPoint handlePixel = slider.lowerHandleRect().center() + QPoint(0, 8);  // outside the groove

    QImage on = slider.grab().toImage();
    EXPECT_EQ(on.pixelColor(spanPixel), QColor("#004B6A"));
    EXPECT_EQ(on.pixelColor(handlePixel), QColor("#004B6A"));
    EXPECT_EQ(on.pixelColor(knobPixel), QColor("#FFFFFF"));

    slider.setEnabled(false);
    QImage off = slider.grab().toImage();
    EXPECT_EQ(off.pixelColor(spanPixel), QColor("#C7C7C7"));
    EXPECT_EQ(off.pixelColor(handlePixel), QColor("#C7C7C7"));
    EXPECT_EQ(off.pixelColor(knobPixel), QColor("#C7C7C7"));

    slider.setEnabled(true);
    EXPECT_EQ(slider.grab().toImage().pixelColor(spanPixel), QColor("#004B6A"));
}

TEST_F(Timeline, AbsoluteTimesFarPast32Bits)
{
    // Sensor times start at the camera's time base: ranges sit anywhere in 64 bits.
    const qint64 base = qint64(1) << 62;
    for (qint64 span : {qint64(1), qint64(999), qint64(1) << 31, qint64(1) << 40}) {
        SCOPED_TRACE(span);
        setRange(base, base + span);
        EXPECT_EQ(slider.lowerValue(), base);
        EXPECT_EQ(slider.upperValue(), base + span);
        slider.setLowerValue(base + span / 4);
        EXPECT_EQ(slider.lowerValue(), base + span / 4);  // exact, no double rounding
        slider.setLowerValue(base);

        // Ends of the track give the ends of the range; the middle is within one pixel's worth.
        EXPECT_EQ(slider.valueAtCenterPosition(kLead), base);
        EXPECT_EQ(slider.valueAtCenterPosition(kLead + kTrack), base + span);
        EXPECT_EQ(slider.valueAtCenterPosition(-50), base);
        EXPECT_EQ(slider.valueAtCenterPosition(kWidth + 50), base + span);
        const qint64 mid = slider.valueAtCenterPosition(kLead + kTrack / 2);
        EXPECT_LE(std::abs(mid - (base + span / 2)), span / kTrack + 1);

        press(kLead + kTrack / 2);
        release(kLead + kTrack / 2);
        EXPECT_EQ(slider.centerValue(), mid);
        if (span >= kTrack) {
            EXPECT_NEAR(slider.centerHandleRect().center().x() + 1, kLead + kTrack / 2, 1);
        }
    }

    // A span wider than qint64 holds, and an empty one divides by nothing.
    const qint64 lo = std::numeric_limits<qint64>::min() + 1;
    const qint64 hi = std::numeric_limits<qint64>::max();
    setRange(lo, hi);
    EXPECT_EQ(slider.valueAtCenterPosition(kLead), lo);
    EXPECT_EQ(slider.valueAtCenterPosition(kLead + kTrack), hi);
    EXPECT_GT(slider.valueAtCenterPosition(kLead + kTrack / 2 + 1), 0);
    EXPECT_LT(slider.valueAtCenterPosition(kLead + kTrack / 2 - 1), 0);

    setRange(base, base);
    press(kLead + 500);
    release(kLead + 500);
    EXPECT_EQ(slider.centerValue(), base);
    EXPECT_FALSE(slider.grab().isNull());
}
