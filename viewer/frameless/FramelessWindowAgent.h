// Makes a top-level widget or dialog frameless and gives back what the window manager's frame
// did: a title-bar widget that moves the window (a double click maximises or restores it) and
// resizing from the window's edges. The window's own minimise / maximise / close buttons are
// registered here (they keep their clicks, never start a drag) and wired by the window itself,
// or with connectSystemButtons() where the plain behaviour is all it needs. Moving and
// resizing are handed to the window system (QWindow::startSystemMove / startSystemResize), so
// snapping and multi-screen behaviour stay native. GUI thread only; the agent is a child of
// the window it serves.
#pragma once

#include <QObject>
#include <QPointer>

class QAbstractButton;
class QWidget;
class QWindow;

class FramelessWindowAgent : public QObject {
    Q_OBJECT
public:
    enum SystemButton { WindowIcon, Minimize, Maximize, Close };

    // Sets the frameless window flag on `window` (a top-level widget or dialog).
    explicit FramelessWindowAgent(QWidget* window);

    // The widget whose empty area drags the window. Its child buttons keep their clicks.
    void setTitleBar(QWidget* titleBar);
    void setSystemButton(SystemButton which, QAbstractButton* button);
    QAbstractButton* systemButton(SystemButton which) const { return buttons_[which]; }
    // Minimise, maximise/restore and close for the registered buttons.
    void connectSystemButtons();
    // Width of the band along the edges that resizes the window; 0 turns resizing off.
    void setResizeBorder(int pixels) { border_ = pixels; }
    void setResizable(bool on) { resizable_ = on; }

    QWidget* window() const { return window_; }
    QWidget* titleBar() const { return titleBar_; }

    // Which edges a point (in window coordinates) would resize; none when inside or maximised.
    Qt::Edges edgesAt(const QPoint& pos) const;

Q_SIGNALS:
    void maximizedChanged(bool maximized);

public Q_SLOTS:
    void toggleMaximized();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchWindowHandle();
    bool handleWindowMouse(QEvent* event);
    bool handleTitleBarMouse(QEvent* event);

    QWidget* window_;
    QPointer<QWidget> titleBar_;
    QPointer<QWindow> handle_;
    QAbstractButton* buttons_[4] = {};  // children of the window
    int border_ = 6;
    bool resizable_ = true;
    bool cursorOverridden_ = false;
};
