// The timeline under the picture: two outer handles mark the range a cut or export takes, the
// middle handle is the playback position. In any mode other than 3 only the middle handle is
// shown, between the ends of the range. Every value is an absolute time in microseconds: sensor
// time starts at the camera's time base, so recordings commonly start past 2^31 µs and the
// slider keeps the exact 64-bit values that the cut and the play loop use. GUI thread only.
#pragma once

#include <QColor>
#include <QWidget>

class OvThreeHandleSlider : public QWidget {
    Q_OBJECT
public:
    explicit OvThreeHandleSlider(QWidget* parent = nullptr, Qt::Orientation orientation = Qt::Horizontal,
                                 int handleMode = 3);

    // Stores the mode and puts the range back to [minimum, maximum] without signals.
    void setHandleMode(int mode);
    int handleMode() const { return handleMode_; }

    // Outside mode 3 the range is the whole span.
    qint64 lowerValue() const { return handleMode_ == 3 ? lower_ : minimum_; }
    qint64 upperValue() const { return handleMode_ == 3 ? upper_ : maximum_; }
    qint64 centerValue() const { return center_; }
    qint64 minimum() const { return minimum_; }
    qint64 maximum() const { return maximum_; }
    Qt::Orientation orientation() const { return orientation_; }

    QSize minimumSizeHint() const override;

    // Where the handles are drawn, in widget coordinates (tests and hit testing use the same).
    QRect lowerHandleRect() const;
    QRect upperHandleRect() const;
    QRect centerHandleRect() const;
    // The value the middle handle takes when its centre is at `pos` along the track.
    qint64 valueAtCenterPosition(int pos) const;

Q_SIGNALS:
    void lowerValueChanged(qint64 aLowerValue);
    void upperValueChanged(qint64 aUpperValue);
    void rangeChanged(qint64 aMin, qint64 aMax);
    void centerValueChanged(qint64 center_value);
    void centerValueTrackClick(qint64 center_value);
    void centerValueMove(qint64 center_value);

public Q_SLOTS:
    void setLowerValue(qint64 aLowerValue);
    void setUpperValue(qint64 aUpperValue);
    void setCenterValue(qint64 aCenterValue);
    void setMinimum(qint64 aMinimum);
    void setMaximum(qint64 aMaximum);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    enum class Drag { None, Lower, Center, Upper };

    void resetRange();
    void applyPalette();
    int length() const;                 // along the track
    int trackLength() const;            // pixels the values spread over
    int offsetOf(qint64 value) const;   // 0 .. trackLength()
    qint64 valueAtOffset(qint64 offset) const;  // clamped to [minimum, maximum]
    int along(const QPointF& pos) const;
    QRect rectAlong(int start, int size, int across) const;
    int startAlong(const QRect& r) const;

    Qt::Orientation orientation_;
    int handleMode_;
    qint64 minimum_ = 0;
    qint64 maximum_ = -1;
    qint64 lower_ = 0;
    qint64 upper_ = -1;
    qint64 center_ = 0;
    Drag drag_ = Drag::None;
    int dragOffset_ = 0;  // pointer minus the held handle's anchor at press time

    // Geometry in pixels.
    int handleLength_ = 6;       // outer handle, along the track
    int handleThickness_ = 27;   // outer handle, across
    int knobSize_ = 20;          // middle handle, both ways
    int grooveThickness_ = 10;
    int spanRadius_ = 0;         // 0 in mode 3, 5 otherwise
    int handleRadius_ = 3;
    int knobRadius_ = 10;
    int knobPenWidth_ = 2;
    int grooveRadius_ = 5;

    QColor spanColour_;
    QColor handleColour_;
    QColor knobColour_;
    QColor knobOutlineColour_;
};
