#include "OvGraphicsView.h"

#include <QWheelEvent>

OvGraphicsView::OvGraphicsView(QWidget* parent) : QGraphicsView(parent)
{
    setDragMode(QGraphicsView::ScrollHandDrag);
    setResizeAnchor(QGraphicsView::NoAnchor);
    setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    setContentsMargins(0, 0, 0, 0);
    setStyleSheet(QStringLiteral("border: 0px;"));
}

void OvGraphicsView::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (delta >= 1 && zoomFactor_ < maxZoom_) {
        scale(kZoomStep, kZoomStep);
        zoomFactor_ *= kZoomStep;
    } else if (delta <= 0 && zoomFactor_ > minZoom_) {
        scale(1.0 / kZoomStep, 1.0 / kZoomStep);
        zoomFactor_ /= kZoomStep;
    }
    event->accept();
}

void OvGraphicsView::mouseDoubleClickEvent(QMouseEvent* event)
{
    zoomFactor_ = 1.0;
    if (scene())
        fitInView(scene()->sceneRect(), Qt::KeepAspectRatio);
    QGraphicsView::mouseDoubleClickEvent(event);
}

void OvGraphicsView::resizeEvent(QResizeEvent* event)
{
    zoomFactor_ = 1.0;
    QGraphicsView::resizeEvent(event);
}
