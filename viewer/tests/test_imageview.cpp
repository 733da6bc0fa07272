// The image view: grey start picture, fit, zoom limits, double click back to the fit.
#include "OvGraphicsView.h"
#include "ShowImageForm.h"

#include <QApplication>
#include <QGraphicsPixmapItem>
#include <QTest>
#include <QWheelEvent>

#include <cmath>

#include <gtest/gtest.h>

namespace {

struct ViewFixture : ::testing::Test {
    ShowImageForm form;
    OvGraphicsView* view = nullptr;
    void SetUp() override
    {
        form.resize(840, 429);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        view = form.view();
    }
    void wheel(int delta)
    {
        const QPointF at(view->viewport()->width() / 2.0, view->viewport()->height() / 2.0);
        QWheelEvent e(at, view->viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &e);
        EXPECT_TRUE(e.isAccepted());
    }
    // The picture's size on screen.
    QSizeF shown() const { return view->mapFromScene(form.pixmapItem()->sceneBoundingRect()).boundingRect().size(); }
};

}  // namespace

TEST_F(ViewFixture, StartsWithAFittedGreyPicture)
{
    const QImage picture = form.currentPixmap().toImage();
    EXPECT_EQ(picture.size(), QSize(1280, 720));
    EXPECT_EQ(picture.pixelColor(0, 0), QColor("#707070"));
    EXPECT_EQ(picture.pixelColor(1279, 719), QColor("#707070"));
    EXPECT_EQ(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(view->dragMode(), QGraphicsView::ScrollHandDrag);
    // Fitted: the whole picture is inside the view and fills it in one direction.
    const QSizeF s = shown();
    const QSize vp = view->viewport()->size();
    EXPECT_LE(s.width(), vp.width() + 1);
    EXPECT_LE(s.height(), vp.height() + 1);
    EXPECT_GT(std::max(s.width() / vp.width(), s.height() / vp.height()), 0.97);
    EXPECT_NEAR(s.width() / s.height(), 1280.0 / 720.0, 0.02);
    // The view itself shows grey pixels in its middle.
    const QImage grab = view->viewport()->grab().toImage();
    EXPECT_EQ(grab.pixelColor(grab.width() / 2, grab.height() / 2), QColor("#707070"));
}

TEST_F(ViewFixture, ZoomStopsOncePastFifty)
{
    const double fitted = view->transform().m11();
    int steps = 0;
    for (; steps < 100 && view->zoomFactor() < view->maxZoom(); ++steps)
        wheel(120);
    // 1.1^41 is still below 50, 1.1^42 passes it: 42 steps and no more.
    EXPECT_EQ(steps, 42);
    EXPECT_NEAR(view->zoomFactor(), std::pow(1.1, 42), 1e-9);
    const double z = view->zoomFactor();
    wheel(120);
    EXPECT_EQ(view->zoomFactor(), z);
    EXPECT_NEAR(view->transform().m11() / fitted, z, 1e-6);
}

TEST_F(ViewFixture, NoZoomOutBelowTheFit)
{
    const QTransform fitted = view->transform();
    wheel(-120);
    wheel(0);
    EXPECT_EQ(view->zoomFactor(), 1.0);
    EXPECT_EQ(view->transform(), fitted);
    wheel(120);
    wheel(120);
    wheel(-120);
    EXPECT_NEAR(view->zoomFactor(), 1.1, 1e-9);
}

TEST_F(ViewFixture, DoubleClickReturnsToTheFit)
{
    const double fitted = view->transform().m11();
    for (int i = 0; i < 5; ++i)
        wheel(120);
    EXPECT_GT(view->transform().m11(), fitted * 1.5);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->viewport()->rect().center());
    EXPECT_EQ(view->zoomFactor(), 1.0);
    EXPECT_NEAR(view->transform().m11(), fitted, fitted * 0.01);
}

TEST_F(ViewFixture, NewPicturesKeepTheZoom)
{
    wheel(120);
    const QTransform zoomed = view->transform();
    QImage red(1280, 720, QImage::Format_RGB32);
    red.fill(Qt::red);
    form.slotShowImage(red);
    EXPECT_EQ(form.currentPixmap().toImage().pixelColor(5, 5), QColor(Qt::red));
    EXPECT_EQ(view->transform(), zoomed);
    QPixmap blue(640, 360);
    blue.fill(Qt::blue);
    form.showPixMap(blue);
    EXPECT_EQ(form.pixmapItem()->pixmap().size(), QSize(640, 360));
    EXPECT_EQ(view->transform(), zoomed);
}

TEST_F(ViewFixture, ResizeFitsAgain)
{
    form.resize(400, 600);
    QApplication::processEvents();
    const QSizeF s = shown();
    EXPECT_LE(s.width(), view->viewport()->width() + 1);
    EXPECT_GT(s.width() / view->viewport()->width(), 0.97);
    EXPECT_EQ(view->zoomFactor(), 1.0);
}
