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

TEST_F(ViewFixture, ZoomGoesToEightScreenPixelsPerPixelAndBackToTheFit)
{
    const QTransform fitted = view->transform();
    int steps = 0;
    for (; steps < 200 && view->screenPixelsPerPixel() < OvGraphicsView::kMaxScreenPixels - 1e-9; ++steps)
        wheel(120);
    EXPECT_LT(steps, 200);
    EXPECT_NEAR(view->screenPixelsPerPixel(), OvGraphicsView::kMaxScreenPixels, 1e-9) << "the last step lands on 8";
    wheel(120);
    EXPECT_NEAR(view->screenPixelsPerPixel(), OvGraphicsView::kMaxScreenPixels, 1e-9) << "and stays there";
    for (int i = 0; i < steps + 5; ++i)
        wheel(-120);
    EXPECT_NEAR(view->zoomFactor(), 1.0, 1e-9);
    EXPECT_NEAR(view->transform().m11(), fitted.m11(), 1e-9) << "back exactly to the fit";
}

// The picture pixel under the mouse stays under it while the wheel zooms, wherever the mouse is.
class ZoomAnchor : public ViewFixture, public ::testing::WithParamInterface<QPointF> {};

TEST_P(ZoomAnchor, KeepsThePixelUnderTheCursorInPlace)
{
    const QPointF at(view->viewport()->width() * GetParam().x(), view->viewport()->height() * GetParam().y());
    const auto wheelAt = [&](int delta) {
        QWheelEvent e(at, view->viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &e);
    };
    const QPointF under = view->mapToScene(at.toPoint());
    // Until the picture is well wider than the view it cannot scroll far enough (the fit leaves
    // bars at the sides); from then on the point is back under the cursor at every step.
    while (shown().width() < 2 * view->viewport()->width())
        wheelAt(120);
    for (int i = 0; i < 30; ++i) {
        // Within two screen pixels (scrolling goes in whole ones), in picture pixels.
        const QPointF now = view->mapToScene(at.toPoint());
        const double slack = 2.0 / view->screenPixelsPerPixel();
        ASSERT_LE(std::abs(now.x() - under.x()), slack) << i;
        ASSERT_LE(std::abs(now.y() - under.y()), slack) << i;
        wheelAt(120);
    }
    EXPECT_NEAR(view->screenPixelsPerPixel(), OvGraphicsView::kMaxScreenPixels, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Points, ZoomAnchor,
                         ::testing::Values(QPointF(0.5, 0.5), QPointF(0.3, 0.4), QPointF(0.8, 0.7)));

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

TEST_F(ViewFixture, NewPicturesKeepTheZoomAnotherSensorFitsAfresh)
{
    wheel(120);
    const QTransform zoomed = view->transform();
    QImage red(1280, 720, QImage::Format_RGB32);
    red.fill(Qt::red);
    form.slotShowImage(red);
    EXPECT_EQ(form.currentPixmap().toImage().pixelColor(5, 5), QColor(Qt::red));
    EXPECT_EQ(view->transform(), zoomed);
    // Another sensor's picture: the scene becomes that picture, fitted at zoom 1.
    const double fittedWide = zoomed.m11() / view->zoomFactor();
    QPixmap blue(640, 360);
    blue.fill(Qt::blue);
    form.showPixMap(blue);
    EXPECT_EQ(form.pixmapItem()->pixmap().size(), QSize(640, 360));
    EXPECT_EQ(view->sceneRect(), QRectF(0, 0, 640, 360));
    EXPECT_EQ(view->zoomFactor(), 1.0);
    EXPECT_NEAR(view->transform().m11(), 2 * fittedWide, fittedWide * 0.02);
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
