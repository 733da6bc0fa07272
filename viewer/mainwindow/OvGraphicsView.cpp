#include "OvGraphicsView.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGraphicsScene>
#include <QMimeData>
#include <QUrl>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>

OvGraphicsView::OvGraphicsView(QWidget* parent) : QGraphicsView(parent)
{
    setDragMode(QGraphicsView::ScrollHandDrag);
    setResizeAnchor(QGraphicsView::NoAnchor);
    setTransformationAnchor(QGraphicsView::NoAnchor);
    setContentsMargins(0, 0, 0, 0);
    setStyleSheet(QStringLiteral("border: 0px;"));
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
}

double OvGraphicsView::maxZoom() const
{
    const double fitted = screenPixelsPerPixel() / zoomFactor_;
    return fitted > 0 ? std::max(1.0, kMaxScreenPixels / fitted) : 1.0;
}

void OvGraphicsView::fit()
{
    zoomFactor_ = 1.0;
    anchored_ = false;
    if (scene())
        fitInView(scene()->sceneRect(), Qt::KeepAspectRatio);
}

void OvGraphicsView::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    const double top = maxZoom();
    double step = 1.0;
    // The last step in either direction lands exactly on the limit.
    if (delta >= 1 && zoomFactor_ < top - 1e-9)
        step = std::min(kZoomStep, top / zoomFactor_);
    else if (delta <= 0 && zoomFactor_ > minZoom_ + 1e-9)
        step = std::max(1.0 / kZoomStep, minZoom_ / zoomFactor_);
    event->accept();
    if (step == 1.0)
        return;
    // Qt's own anchor follows the last mouse move, not the wheel, and scrolls in whole pixels: the
    // point under the wheel is kept here instead, and remembered while the wheel turns in one place
    // so that rounding does not add up.
    const QPoint at = event->position().toPoint();
    if (!anchored_ || at != anchorPos_) {
        anchorPos_ = at;
        anchorScene_ = mapToScene(at);
        anchored_ = true;
    }
    scale(step, step);
    zoomFactor_ *= step;
    const QPointF offset = QPointF(at - viewport()->rect().center()) / screenPixelsPerPixel();
    centerOn(anchorScene_ - offset);
}

void OvGraphicsView::mouseDoubleClickEvent(QMouseEvent* event)
{
    fit();
    QGraphicsView::mouseDoubleClickEvent(event);
}

void OvGraphicsView::mouseMoveEvent(QMouseEvent* event)
{
    QGraphicsView::mouseMoveEvent(event);
    anchored_ = false;
    Q_EMIT cursorMoved(mapToScene(event->position().toPoint()));
}

void OvGraphicsView::leaveEvent(QEvent* event)
{
    QGraphicsView::leaveEvent(event);
    Q_EMIT cursorLeft();
}

void OvGraphicsView::resizeEvent(QResizeEvent* event)
{
    zoomFactor_ = 1.0;
    anchored_ = false;
    QGraphicsView::resizeEvent(event);
}

QString OvGraphicsView::droppedFile(const QMimeData* mime) const
{
    if (dropSuffix_.isEmpty() || !mime)
        return {};
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile() && url.toLocalFile().endsWith(dropSuffix_, Qt::CaseInsensitive))
            return url.toLocalFile();
    return {};
}

// The scene has nothing that takes drops: files are the view's own business.
void OvGraphicsView::dragEnterEvent(QDragEnterEvent* event)
{
    if (droppedFile(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void OvGraphicsView::dragMoveEvent(QDragMoveEvent* event)
{
    if (droppedFile(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void OvGraphicsView::dropEvent(QDropEvent* event)
{
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    Q_EMIT fileDropped(path);
}
