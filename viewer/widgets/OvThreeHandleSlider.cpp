#include "OvThreeHandleSlider.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

// Pixel mapping multiplies a 64-bit span by a pixel count: 128 bits hold the product exactly.
__extension__ using Wide = __int128;

qint64 clampTo(qint64 v, qint64 lo, qint64 hi)
{
    // Written out rather than std::clamp: an empty range (lo > hi, as before the first
    // setMaximum) must give a defined answer.
    if (v > hi)
        v = hi;
    if (v < lo)
        v = lo;
    return v;
}

}  // namespace

OvThreeHandleSlider::OvThreeHandleSlider(QWidget* parent, Qt::Orientation orientation, int handleMode)
    : QWidget(parent), orientation_(orientation), handleMode_(handleMode)
{
    center_ = (upper_ - lower_) / 2;
    spanRadius_ = handleMode_ == 3 ? 0 : 5;
    setMouseTracking(true);
    setMinimumHeight(30);
    if (orientation_ == Qt::Horizontal)
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    else
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    applyPalette();
}

void OvThreeHandleSlider::setHandleMode(int mode)
{
    handleMode_ = mode;
    spanRadius_ = mode == 3 ? 0 : 5;
    drag_ = Drag::None;  // the held handle may no longer be shown
    lower_ = minimum_;
    upper_ = maximum_;
    update();
}

QSize OvThreeHandleSlider::minimumSizeHint() const
{
    return orientation_ == Qt::Horizontal ? QSize(2 * handleLength_, handleLength_)
                                          : QSize(handleLength_, 2 * handleLength_);
}

void OvThreeHandleSlider::setLowerValue(qint64 aLowerValue)
{
    lower_ = clampTo(aLowerValue, minimum_, maximum_);
    Q_EMIT lowerValueChanged(lower_);
    update();
}

void OvThreeHandleSlider::setUpperValue(qint64 aUpperValue)
{
    if (handleMode_ == 3)
        upper_ = std::max(std::min(aUpperValue, maximum_), center_);
    else
        upper_ = clampTo(aUpperValue, minimum_, maximum_);
    Q_EMIT upperValueChanged(upper_);
    update();
}

void OvThreeHandleSlider::setCenterValue(qint64 aCenterValue)
{
    center_ = clampTo(aCenterValue, lowerValue(), upperValue());
    Q_EMIT centerValueChanged(center_);
    update();
}

void OvThreeHandleSlider::setMinimum(qint64 aMinimum)
{
    minimum_ = aMinimum;
    resetRange();
}

void OvThreeHandleSlider::setMaximum(qint64 aMaximum)
{
    maximum_ = aMaximum;
    resetRange();
}

void OvThreeHandleSlider::resetRange()
{
    // The upper value never goes below the center, so a center left over from a longer recording
    // would hold the upper value past the new maximum: bring the center into the range first.
    const qint64 oldCenter = center_;
    if (minimum_ <= maximum_)
        center_ = clampTo(center_, minimum_, maximum_);
    setLowerValue(minimum_);
    setUpperValue(maximum_);
    Q_EMIT rangeChanged(minimum_, maximum_);
    if (center_ != oldCenter)
        Q_EMIT centerValueChanged(center_);
}

// ---- geometry ----

int OvThreeHandleSlider::length() const
{
    return orientation_ == Qt::Horizontal ? width() : height();
}

int OvThreeHandleSlider::trackLength() const
{
    // The middle handle sits between the outer handles in every mode, so that it is never cut off
    // at either end of the widget.
    return std::max(0, length() - 2 * handleLength_ - knobSize_);
}

int OvThreeHandleSlider::offsetOf(qint64 value) const
{
    const int track = trackLength();
    const Wide span = Wide(maximum_) - minimum_;
    if (track <= 0 || span <= 0)
        return 0;
    const Wide fromMin = Wide(clampTo(value, minimum_, maximum_)) - minimum_;
    return int((fromMin * track + span / 2) / span);
}

qint64 OvThreeHandleSlider::valueAtOffset(qint64 offset) const
{
    const int track = trackLength();
    const Wide span = Wide(maximum_) - minimum_;
    if (track <= 0 || span <= 0)
        return minimum_;
    offset = clampTo(offset, 0, track);
    return qint64(minimum_ + (Wide(offset) * span + track / 2) / track);
}

qint64 OvThreeHandleSlider::valueAtCenterPosition(int pos) const
{
    return valueAtOffset(qint64(pos) - handleLength_ - knobSize_ / 2);
}

int OvThreeHandleSlider::along(const QPointF& pos) const
{
    return qRound(orientation_ == Qt::Horizontal ? pos.x() : pos.y());
}

int OvThreeHandleSlider::startAlong(const QRect& r) const
{
    return orientation_ == Qt::Horizontal ? r.left() : r.top();
}

QRect OvThreeHandleSlider::rectAlong(int start, int size, int across) const
{
    const int breadth = orientation_ == Qt::Horizontal ? height() : width();
    const int top = (breadth - across) / 2;
    return orientation_ == Qt::Horizontal ? QRect(start, top, size, across) : QRect(top, start, across, size);
}

// Anchors: the lower handle ends where the values start, the middle handle's left edge moves over
// the track, the upper handle starts one middle handle further on. So at lower == center the
// middle handle touches the lower handle, and at center == upper it touches the upper one.
QRect OvThreeHandleSlider::lowerHandleRect() const
{
    return rectAlong(offsetOf(lowerValue()), handleLength_, handleThickness_);
}

QRect OvThreeHandleSlider::upperHandleRect() const
{
    return rectAlong(handleLength_ + knobSize_ + offsetOf(upperValue()), handleLength_, handleThickness_);
}

QRect OvThreeHandleSlider::centerHandleRect() const
{
    return rectAlong(handleLength_ + offsetOf(center_), knobSize_, knobSize_);
}

// ---- painting ----

void OvThreeHandleSlider::applyPalette()
{
    const bool on = isEnabled();
    spanColour_ = on ? QColor(0x00, 0x4B, 0x6A) : QColor(0xC7, 0xC7, 0xC7);
    handleColour_ = spanColour_;
    knobColour_ = on ? QColor(0xFF, 0xFF, 0xFF) : QColor(0xC7, 0xC7, 0xC7);
    knobOutlineColour_ = on ? QColor(0x00, 0x4B, 0x6A) : QColor(0x70, 0x70, 0x70);
}

void OvThreeHandleSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    painter.setBrush(QColor(208, 208, 208));
    painter.drawRoundedRect(rectAlong(0, length(), grooveThickness_), grooveRadius_, grooveRadius_);

    const QRect lowerRect = lowerHandleRect();
    const QRect upperRect = upperHandleRect();
    if (handleMode_ == 3) {
        painter.setBrush(handleColour_);
        painter.drawRoundedRect(lowerRect, handleRadius_, handleRadius_);
        painter.drawRoundedRect(upperRect, handleRadius_, handleRadius_);
    }
    const int spanStart = startAlong(lowerRect) + handleLength_;
    const int spanEnd = startAlong(upperRect);
    if (spanEnd > spanStart) {
        painter.setBrush(spanColour_);
        painter.drawRoundedRect(rectAlong(spanStart, spanEnd - spanStart, grooveThickness_), spanRadius_,
                                spanRadius_);
    }

    // The outline is stroked inside the knob's square so that none of it is clipped.
    const qreal inset = knobPenWidth_ / 2.0;
    const QRectF knob = QRectF(centerHandleRect()).adjusted(inset, inset, -inset, -inset);
    painter.setPen(QPen(knobOutlineColour_, knobPenWidth_, Qt::SolidLine));
    painter.setBrush(knobColour_);
    painter.drawRoundedRect(knob, knobRadius_ - inset, knobRadius_ - inset);
}

void OvThreeHandleSlider::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) {
        drag_ = Drag::None;  // a disabled widget gets no release
        applyPalette();
        update();
    }
    QWidget::changeEvent(event);
}

// ---- mouse ----

void OvThreeHandleSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    const int at = along(event->position());
    if (centerHandleRect().contains(pos)) {
        drag_ = Drag::Center;
        dragOffset_ = at - startAlong(centerHandleRect());
    } else if (handleMode_ == 3 && lowerHandleRect().contains(pos)) {
        drag_ = Drag::Lower;
        dragOffset_ = at - startAlong(lowerHandleRect());
    } else if (handleMode_ == 3 && upperHandleRect().contains(pos)) {
        drag_ = Drag::Upper;
        dragOffset_ = at - startAlong(upperHandleRect());
    } else {
        setCenterValue(valueAtCenterPosition(at));
        Q_EMIT centerValueTrackClick(center_);
    }
    event->accept();
}

void OvThreeHandleSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton) || drag_ == Drag::None) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const int at = along(event->position());
    const qint64 start = qint64(at) - dragOffset_;  // where the held handle's anchor would go
    switch (drag_) {
    case Drag::Lower:
        if (handleMode_ == 3)
            setLowerValue(std::min(valueAtOffset(start), center_));
        break;
    case Drag::Upper:
        if (handleMode_ == 3)
            setUpperValue(std::max(valueAtOffset(start - handleLength_ - knobSize_), center_));
        break;
    case Drag::Center:
        if (handleMode_ == 3) {
            const int lowerEnd = startAlong(lowerHandleRect()) + handleLength_;
            const int upperStart = startAlong(upperHandleRect());
            if (at >= lowerEnd && at <= upperStart) {
                setCenterValue(valueAtOffset(start - handleLength_));
                Q_EMIT centerValueMove(center_);
            } else {
                setCenterValue(center_);
            }
        } else if (rect().contains(event->position().toPoint())) {
            setCenterValue(valueAtOffset(start - handleLength_));
            Q_EMIT centerValueMove(center_);
        }
        break;
    case Drag::None:
        break;
    }
    event->accept();
}

void OvThreeHandleSlider::mouseReleaseEvent(QMouseEvent* event)
{
    drag_ = Drag::None;
    QWidget::mouseReleaseEvent(event);
}
