// Toasts, tool tips, the waiting window and its worker.
#include "OvFilePathReminderForm.h"
#include "OvToolTip.h"
#include "WaitingWin.h"
#include "WorkerThread.h"

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <stdexcept>

#include <gtest/gtest.h>

TEST(Toast, LookByType)
{
    struct Case {
        OvMessageType type;
        const char* title;
        const char* colour;
    };
    const Case cases[] = {{MessageSuccess, "Success", "#58DB6D"},
                          {MessageWarning, "Warning", "#F9BF37"},
                          {MessageError, "Error", "#FF6058"}};
    for (const Case& c : cases) {
        OvFilePathReminderForm toast("Saved", c.type, "/tmp");
        toast.ensurePolished();
        auto* title = toast.findChild<QLabel*>("lb_title");
        ASSERT_NE(title, nullptr);
        title->ensurePolished();
        EXPECT_EQ(title->text(), c.title);
        EXPECT_EQ(title->palette().color(QPalette::WindowText), QColor(c.colour)) << c.title;
        EXPECT_FALSE(toast.findChild<QPushButton*>("pb_logo")->icon().isNull()) << c.title;
        EXPECT_EQ(toast.findChild<QLabel*>("lb_show_tips")->text(), "Saved");
        EXPECT_FALSE(toast.findChild<QPushButton*>("pb_open_dir")->isHidden());
        EXPECT_TRUE(toast.testAttribute(Qt::WA_TranslucentBackground));
    }
}

TEST(Toast, NoPathMeansNoOpenDirButton)
{
    OvFilePathReminderForm toast("Recording failed", MessageError);
    EXPECT_TRUE(toast.findChild<QPushButton*>("pb_open_dir")->isHidden());
}

TEST(Toast, DeletesItselfWhenItsTimeIsUp)
{
    QPointer<OvFilePathReminderForm> toast = new OvFilePathReminderForm("Saved", MessageSuccess, "/tmp");
    toast->show();
    auto* timer = toast->findChild<QTimer*>("destroyTimer");
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isSingleShot());
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 3000);
    timer->start(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return toast.isNull(); }, 2000));
}

namespace {

struct TipFixture : ::testing::Test {
    QWidget window;
    QPushButton* button = new QPushButton("play", &window);
    void SetUp() override
    {
        window.resize(300, 200);
        button->setGeometry(100, 100, 40, 30);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void enter()
    {
        QEnterEvent e(QPointF(5, 5), QPointF(5, 5), button->mapToGlobal(QPointF(5, 5)));
        QApplication::sendEvent(button, &e);
    }
    void leave()
    {
        QEvent e(QEvent::Leave);
        QApplication::sendEvent(button, &e);
    }
};

}  // namespace

TEST_F(TipFixture, LeavingBeforeTwoSecondsShowsNothing)
{
    OvToolTip tip("Play/Stop", OvToolTip::CenterAbove, &window);
    tip.attach(button);
    EXPECT_TRUE(button->hasMouseTracking());
    auto* showTimer = tip.findChild<QTimer*>("showTimer");
    auto* hideTimer = tip.findChild<QTimer*>("hideTimer");
    enter();
    EXPECT_TRUE(showTimer->isActive());
    EXPECT_EQ(showTimer->interval(), 2000);
    EXPECT_TRUE(tip.isHidden());
    leave();
    EXPECT_FALSE(showTimer->isActive());
    EXPECT_TRUE(hideTimer->isActive());
    EXPECT_EQ(hideTimer->interval(), 300);
    QTest::qWait(20);
    EXPECT_TRUE(tip.isHidden());
}

TEST_F(TipFixture, ShowsCentredAboveThenHidesAfterThreeSeconds)
{
    OvToolTip tip("Play/Stop", OvToolTip::CenterAbove, &window);
    tip.attach(button);
    auto* showTimer = tip.findChild<QTimer*>("showTimer");
    auto* hideTimer = tip.findChild<QTimer*>("hideTimer");
    enter();
    const QPoint g = button->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(tip.pos(), QPoint(g.x() - std::abs(tip.width() - button->width()) / 2, g.y() - tip.height()));
    EXPECT_GE(tip.width(), 100);
    EXPECT_EQ(tip.height(), 20);
    showTimer->start(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return tip.isVisible(); }, 1000));
    EXPECT_TRUE(hideTimer->isActive());
    EXPECT_EQ(hideTimer->interval(), 3000);
    hideTimer->start(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return tip.isHidden(); }, 1000));
}

TEST_F(TipFixture, PositionModes)
{
    OvToolTip left("Next frame", OvToolTip::LeftAbove, &window);
    left.attach(button);
    enter();
    const QPoint g = button->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(left.pos(), QPoint(g.x() - left.width(), g.y() - left.height()));
    left.attach(nullptr);

    OvToolTip still("Loop", OvToolTip::NotMoved, &window);
    still.move(7, 9);
    still.attach(button);
    enter();
    EXPECT_EQ(still.pos(), QPoint(7, 9));
    EXPECT_FALSE(still.findChild<QTimer*>("showTimer")->isActive());
}

TEST(ToolTip, PropertiesSignalOnlyOnChange)
{
    OvToolTip tip("a");
    QSignalSpy text(&tip, &OvToolTip::textChanged);
    QSignalSpy x(&tip, &OvToolTip::xOffsetChanged);
    QSignalSpy align(&tip, &OvToolTip::alignmentChanged);
    tip.setText("a");
    tip.setText("b");
    tip.setXOffset(0);
    tip.setXOffset(4);
    tip.setAlignment(tip.alignment());
    tip.setAlignment(Qt::AlignLeft);
    EXPECT_EQ(text.count(), 1);
    EXPECT_EQ(x.count(), 1);
    EXPECT_EQ(align.count(), 1);
    EXPECT_EQ(tip.text(), "b");
    EXPECT_EQ(tip.property("text").toString(), "b");
    EXPECT_EQ(tip.alignment(), Qt::AlignLeft);
}

namespace {

// Runs `task` behind a waiting window the way the main window does; returns whether the task
// had finished when exec() returned.
bool runBehindWaitingWindow(WaitingWin& waiting, std::function<void()> task)
{
    std::atomic<bool> done{false};
    WorkerThread worker([&] {
        task();
        done = true;
    });
    QObject::connect(&worker, &WorkerThread::taskCompleted, &waiting, &QDialog::close);
    worker.start(QThread::InheritPriority);
    waiting.exec();
    const bool finished = done;
    worker.wait();
    return finished;
}

}  // namespace

TEST(Waiting, BlocksUntilTheTaskCompletes)
{
    QWidget anchor;
    anchor.setGeometry(50, 60, 800, 600);
    anchor.show();
    WaitingWin waiting(&anchor);
    EXPECT_TRUE(waiting.isAnimated());
    QPoint shownAt;
    QTimer::singleShot(0, [&] { shownAt = waiting.pos(); });
    EXPECT_TRUE(runBehindWaitingWindow(waiting, [] { QThread::msleep(50); }));
    const QPoint a = anchor.mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(shownAt, QPoint(a.x() + (800 - waiting.width()) / 2, a.y() + (600 - waiting.height()) / 2));
}

TEST(Waiting, MissingAnimationStillBlocks)
{
    QWidget anchor;
    WaitingWin waiting(&anchor, ":/img/icon/no-such.gif");
    EXPECT_FALSE(waiting.isAnimated());
    EXPECT_TRUE(runBehindWaitingWindow(waiting, [] { QThread::msleep(50); }));
}

TEST(Waiting, ThrowingTaskStillCompletes)
{
    WaitingWin waiting(nullptr);
    std::atomic<bool> completed{false};
    WorkerThread worker([] { throw std::runtime_error("Camera is not inited"); });
    QObject::connect(&worker, &WorkerThread::taskCompleted, &waiting, [&] {
        completed = true;
        waiting.close();
    });
    worker.start();
    waiting.exec();
    worker.wait();
    EXPECT_TRUE(completed);
}
