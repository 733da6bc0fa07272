// A delayed hover tip for a button: it appears two seconds after the pointer enters the
// watched widget, stays up to three seconds and goes 300 ms after the pointer leaves.
// GUI thread only.
#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QTimer;

class OvToolTip : public QDialog {
    Q_OBJECT
    Q_PROPERTY(int x_offset READ xOffset WRITE setXOffset NOTIFY xOffsetChanged)
    Q_PROPERTY(int y_offset READ yOffset WRITE setYOffset NOTIFY yOffsetChanged)
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    Q_PROPERTY(Qt::Alignment alignment READ alignment WRITE setAlignment NOTIFY alignmentChanged)
public:
    // Where the tip goes relative to the watched widget.
    enum Position : int32_t { CenterAbove = 0, NotMoved = 1, LeftAbove = 2 };
    static constexpr int kShowDelayMs = 2000;
    static constexpr int kShowTimeMs = 3000;
    static constexpr int kHideDelayMs = 300;

    OvToolTip(const QString& text, int32_t position = CenterAbove, QWidget* parent = nullptr);

    void attach(QWidget* widget);
    QWidget* watched() const { return watched_; }

    int xOffset() const { return xOffset_; }
    int yOffset() const { return yOffset_; }
    QString text() const;
    Qt::Alignment alignment() const;
    void setXOffset(int offset);
    void setYOffset(int offset);
    void setText(const QString& text);
    void setAlignment(Qt::Alignment alignment);

Q_SIGNALS:
    void xOffsetChanged(int offset);
    void yOffsetChanged(int offset);
    void textChanged(const QString& text);
    void alignmentChanged(Qt::Alignment alignment);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onEnter();
    void onLeave();
    void onShowTimer();
    void onHideTimer();

    QLabel* label_;
    QPointer<QWidget> watched_;
    int32_t position_;
    QTimer* showTimer_;
    QTimer* hideTimer_;
    int xOffset_ = 0;
    int yOffset_ = 0;
};
