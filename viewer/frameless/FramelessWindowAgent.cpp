#include "FramelessWindowAgent.h"

#include <QAbstractButton>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

FramelessWindowAgent::FramelessWindowAgent(QWidget* window) : QObject(window), window_(window)
{
    window_->setWindowFlag(Qt::FramelessWindowHint, true);
    window_->installEventFilter(this);
    if (window_->windowHandle())
        watchWindowHandle();
}

void FramelessWindowAgent::setTitleBar(QWidget* titleBar)
{
    if (titleBar_)
        titleBar_->removeEventFilter(this);
    titleBar_ = titleBar;
    if (titleBar_)
        titleBar_->installEventFilter(this);
}

void FramelessWindowAgent::setSystemButton(SystemButton which, QAbstractButton* button)
{
    buttons_[which] = button;
    if (button)
        button->setFocusPolicy(Qt::NoFocus);
}

void FramelessWindowAgent::connectSystemButtons()
{
    if (QAbstractButton* b = buttons_[Minimize])
        connect(b, &QAbstractButton::clicked, window_, &QWidget::showMinimized);
    if (QAbstractButton* b = buttons_[Maximize])
        connect(b, &QAbstractButton::clicked, this, &FramelessWindowAgent::toggleMaximized);
    if (QAbstractButton* b = buttons_[Close])
        connect(b, &QAbstractButton::clicked, window_, &QWidget::close);
}

void FramelessWindowAgent::toggleMaximized()
{
    if (window_->isMaximized())
        window_->showNormal();
    else
        window_->showMaximized();
}

Qt::Edges FramelessWindowAgent::edgesAt(const QPoint& pos) const
{
    Qt::Edges edges;
    if (!resizable_ || border_ <= 0 || window_->isMaximized() || window_->isFullScreen())
        return edges;
    if (window_->minimumSize() == window_->maximumSize())
        return edges;  // a fixed-size window
    const QRect r = window_->rect();
    if (!r.contains(pos))
        return edges;
    if (pos.x() < border_)
        edges |= Qt::LeftEdge;
    if (pos.x() >= r.width() - border_)
        edges |= Qt::RightEdge;
    if (pos.y() < border_)
        edges |= Qt::TopEdge;
    if (pos.y() >= r.height() - border_)
        edges |= Qt::BottomEdge;
    return edges;
}

void FramelessWindowAgent::watchWindowHandle()
{
    if (handle_ == window_->windowHandle())
        return;
    if (handle_)
        handle_->removeEventFilter(this);
    handle_ = window_->windowHandle();
    // Mouse events reach the QWindow before any child widget sees them, so the edges resize the
    // window even where children cover them.
    if (handle_)
        handle_->installEventFilter(this);
}

bool FramelessWindowAgent::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_) {
        switch (event->type()) {
        case QEvent::WinIdChange:
        case QEvent::Show:
            watchWindowHandle();
            break;
        case QEvent::WindowStateChange:
            Q_EMIT maximizedChanged(window_->isMaximized());
            break;
        default:
            break;
        }
        return false;
    }
    if (watched == handle_)
        return handleWindowMouse(event);
    if (watched == titleBar_)
        return handleTitleBarMouse(event);
    return false;
}

bool FramelessWindowAgent::handleWindowMouse(QEvent* event)
{
    if (event->type() != QEvent::MouseMove && event->type() != QEvent::MouseButtonPress)
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    const Qt::Edges edges = edgesAt(mouse->position().toPoint());
    if (event->type() == QEvent::MouseMove) {
        if (mouse->buttons() != Qt::NoButton)
            return false;
        Qt::CursorShape shape = Qt::ArrowCursor;
        if (edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge))
            shape = Qt::SizeFDiagCursor;
        else if (edges == (Qt::RightEdge | Qt::TopEdge) || edges == (Qt::LeftEdge | Qt::BottomEdge))
            shape = Qt::SizeBDiagCursor;
        else if (edges & (Qt::LeftEdge | Qt::RightEdge))
            shape = Qt::SizeHorCursor;
        else if (edges & (Qt::TopEdge | Qt::BottomEdge))
            shape = Qt::SizeVerCursor;
        if (edges) {
            handle_->setCursor(shape);
            cursorOverridden_ = true;
        } else if (cursorOverridden_) {
            // Hand the cursor back to the widgets under the pointer.
            handle_->unsetCursor();
            cursorOverridden_ = false;
        }
        return false;
    }
    if (mouse->button() == Qt::LeftButton && edges)
        return handle_->startSystemResize(edges);
    return false;
}

bool FramelessWindowAgent::handleTitleBarMouse(QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || !window_->windowHandle())
            return false;
        // A press on the resize band of the title bar belongs to resizing.
        if (edgesAt(window_->mapFromGlobal(mouse->globalPosition().toPoint())))
            return false;
        return window_->windowHandle()->startSystemMove();
    }
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        toggleMaximized();
        return true;
    }
    default:
        return false;
    }
}
