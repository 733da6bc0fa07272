#include "OvToolTip.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>

#include <cstdlib>

OvToolTip::OvToolTip(const QString& text, int32_t position, QWidget* parent)
    : QDialog(parent), label_(new QLabel(text, this)), position_(position), showTimer_(new QTimer(this)),
      hideTimer_(new QTimer(this))
{
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(label_, 0, Qt::AlignCenter);
    label_->setAlignment(Qt::AlignCenter);
    setStyleSheet(QStringLiteral(
        "OvToolTip { min-width: 100px; min-height: 20px; max-height: 20px; }\n"
        "QLabel { font-family: \"Noto Sans SC Medium\"; font-size: 10px; color: #646464; "
        "border: 1px solid #A7A7A7; padding-left: 10px; padding-right: 10px; border-radius: 5px; "
        "background-color: #FFFFFF; min-height: 18px; max-height: 18px; }"));
    showTimer_->setObjectName(QStringLiteral("showTimer"));
    hideTimer_->setObjectName(QStringLiteral("hideTimer"));
    connect(showTimer_, &QTimer::timeout, this, &OvToolTip::onShowTimer);
    connect(hideTimer_, &QTimer::timeout, this, &OvToolTip::onHideTimer);
    hide();
}

void OvToolTip::attach(QWidget* widget)
{
    if (watched_)
        watched_->removeEventFilter(this);
    watched_ = widget;
    if (watched_) {
        watched_->installEventFilter(this);
        watched_->setMouseTracking(true);
    }
}

bool OvToolTip::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == watched_) {
        if (event->type() == QEvent::Enter)
            onEnter();
        else if (event->type() == QEvent::Leave)
            onLeave();
    }
    return QDialog::eventFilter(watched, event);
}

void OvToolTip::onEnter()
{
    if (position_ == NotMoved)
        return;
    adjustSize();
    const QPoint g = watched_->mapToGlobal(QPoint(0, 0));
    QPoint pos;
    if (position_ == LeftAbove)
        pos = QPoint(g.x() - width(), g.y() - height());
    else
        pos = QPoint(g.x() - std::abs(width() - watched_->width()) / 2, g.y() - height());
    move(pos + QPoint(xOffset_, yOffset_));
    if (!showTimer_->isActive())
        showTimer_->start(kShowDelayMs);
}

void OvToolTip::onLeave()
{
    showTimer_->stop();
    hideTimer_->stop();
    hideTimer_->start(kHideDelayMs);
}

void OvToolTip::onShowTimer()
{
    showTimer_->stop();
    if (isHidden())
        show();
    if (!hideTimer_->isActive())
        hideTimer_->start(kShowTimeMs);
}

void OvToolTip::onHideTimer()
{
    showTimer_->stop();
    hideTimer_->stop();
    if (isVisible())
        hide();
}

QString OvToolTip::text() const
{
    return label_->text();
}

Qt::Alignment OvToolTip::alignment() const
{
    return label_->alignment();
}

void OvToolTip::setXOffset(int offset)
{
    if (offset == xOffset_)
        return;
    xOffset_ = offset;
    Q_EMIT xOffsetChanged(offset);
}

void OvToolTip::setYOffset(int offset)
{
    if (offset == yOffset_)
        return;
    yOffset_ = offset;
    Q_EMIT yOffsetChanged(offset);
}

void OvToolTip::setText(const QString& text)
{
    if (text == label_->text())
        return;
    label_->setText(text);
    Q_EMIT textChanged(text);
}

void OvToolTip::setAlignment(Qt::Alignment alignment)
{
    if (alignment == label_->alignment())
        return;
    label_->setAlignment(alignment);
    Q_EMIT alignmentChanged(alignment);
}
