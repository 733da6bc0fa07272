// The graphics view of the image area: the wheel zooms (anchored under the mouse, between the
// fitted size and 50 times that), the left button drags the picture, a double click returns
// to the fitted view.
#pragma once

#include <QGraphicsView>

class OvGraphicsView : public QGraphicsView {
    Q_OBJECT
public:
    static constexpr double kZoomStep = 1.1;

    explicit OvGraphicsView(QWidget* parent = nullptr);

    double zoomFactor() const { return zoomFactor_; }
    double minZoom() const { return minZoom_; }
    double maxZoom() const { return maxZoom_; }

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    double zoomFactor_ = 1.0;
    double minZoom_ = 1.0;
    double maxZoom_ = 50.0;
};
