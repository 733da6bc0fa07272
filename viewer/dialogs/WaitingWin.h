// A modal waiting animation centred over an anchor widget, shown with exec() while a
// WorkerThread does a slow job; the worker's taskCompleted() closes it. GUI thread only.
#pragma once

#include <QDialog>
#include <QPointer>

#include <functional>

class QKeyEvent;
class QLabel;
class QMovie;

namespace Ui {
class WaitingWin;
}

class WaitingWin : public QDialog {
    Q_OBJECT
public:
    explicit WaitingWin(QWidget* anchor, const QString& animationFile = QStringLiteral(":/img/icon/waiting.gif"));
    ~WaitingWin() override;

    // Whether the animation file could be loaded and runs.
    bool isAnimated() const;
    // A line under the animation, such as the progress of the job (empty hides it).
    void setMessage(const QString& text);
    QString message() const;
    // Shows a Cancel button (pb_cancel) that calls `cancel` once; the window still closes only when
    // the job ends.
    void offerCancel(std::function<void()> cancel);

protected:
    void showEvent(QShowEvent* event) override;
    // The window goes when the job ends, not on Escape.
    void keyPressEvent(QKeyEvent* event) override;

private:
    Ui::WaitingWin* ui;
    QPointer<QWidget> anchor_;
    QMovie* movie_;
    QLabel* message_;
};
