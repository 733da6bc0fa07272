// The graphics view of the image area: the wheel zooms, anchored under the mouse, from the fitted
// size up to one sensor pixel per kMaxScreenPixels screen pixels and back; the left button drags
// the picture; a double click returns to the fitted view. It reports the scene point under the
// mouse (the picture's pixel) for the info bar, and local files of the accepted suffix dropped on
// the picture. GUI thread.
#pragma once

#include <QGraphicsView>
#include <QString>

class QMimeData;

class OvGraphicsView : public QGraphicsView {
    Q_OBJECT
public:
    static constexpr double kZoomStep = 1.1;
    static constexpr double kMaxScreenPixels = 8.0;

    explicit OvGraphicsView(QWidget* parent = nullptr);

    double zoomFactor() const { return zoomFactor_; }
    double minZoom() const { return minZoom_; }
    // The zoom, relative to the fitted view, at which one picture pixel covers kMaxScreenPixels.
    double maxZoom() const;
    // Screen pixels per picture pixel now.
    double screenPixelsPerPixel() const { return transform().m11(); }
    // Back to the fitted view, zoom 1.
    void fit();
    // Drags of local files ending in `suffix` (any case) are taken; none while it is empty.
    void setAcceptedFileSuffix(const QString& suffix) { dropSuffix_ = suffix; }

Q_SIGNALS:
    // The picture point under the mouse, or left when the mouse left the view.
    void cursorMoved(QPointF scenePoint);
    void cursorLeft();
    // A file of the accepted suffix was dropped on the picture (the first of the drop).
    void fileDropped(const QString& path);

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QString droppedFile(const QMimeData* mime) const;

    QString dropSuffix_;
    double zoomFactor_ = 1.0;
    double minZoom_ = 1.0;
    bool anchored_ = false;
    QPoint anchorPos_;
    QPointF anchorScene_;
};
