#include "OvSlider.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

OvSlider::OvSlider(QWidget* parent) : QSlider(parent) {}

OvSlider::OvSlider(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent) {}

QRect OvSlider::handleRect() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}

int OvSlider::valueAtPosition(const QPoint& pos) const
{
    const QRect handle = handleRect();
    const bool horizontal = orientation() == Qt::Horizontal;
    const double handleLength = horizontal ? handle.width() : handle.height();
    const double span = (horizontal ? width() : height()) - handleLength;
    if (span <= 0)
        return minimum();
    // A vertical slider has its minimum at the bottom unless its appearance is inverted.
    double along = horizontal ? pos.x() : pos.y();
    if (!horizontal && !invertedAppearance())
        along = height() - along;
    else if (horizontal && invertedAppearance())
        along = width() - along;
    const double value = minimum() + double(maximum() - minimum()) * (along - handleLength / 2) / span;
    return static_cast<int>(value);  // truncated toward zero
}

void OvSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QSlider::mousePressEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    const bool onHandle = handleRect().contains(pos);
    setValue(valueAtPosition(pos));
    // The clamped value: a click beside the ends reports the end, not a value outside the range.
    Q_EMIT trackClicked(value());
    if (onHandle) {
        QSlider::mousePressEvent(event);
        return;
    }
    event->accept();
}
