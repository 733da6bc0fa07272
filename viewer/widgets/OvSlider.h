// A slider that jumps straight to where the track is clicked (instead of paging towards it);
// a press on the handle still drags as usual.
#pragma once

#include <QSlider>

class OvSlider : public QSlider {
    Q_OBJECT
public:
    explicit OvSlider(QWidget* parent = nullptr);
    explicit OvSlider(Qt::Orientation orientation, QWidget* parent = nullptr);

    // The value a left click at `pos` (widget coordinates) selects, before range clamping.
    int valueAtPosition(const QPoint& pos) const;
    // The handle's rectangle as the style draws it.
    QRect handleRect() const;

Q_SIGNALS:
    void trackClicked(int value);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};
