#include "WaitingWin.h"

#include "ui_WaitingWin.h"

#include <QDebug>
#include <QMovie>

WaitingWin::WaitingWin(QWidget* anchor, const QString& animationFile)
    : QDialog(nullptr), ui(new Ui::WaitingWin), anchor_(anchor), movie_(nullptr)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setStyleSheet(QStringLiteral("background: transparent;"));
    ui->label_waiting->setStyleSheet(QStringLiteral("background: transparent;"));
    setModal(true);

    movie_ = new QMovie(animationFile);
    if (movie_->isValid()) {
        ui->label_waiting->setMovie(movie_);
        movie_->start();
    } else {
        qWarning() << "GIF is not valid or not found";
    }
}

WaitingWin::~WaitingWin()
{
    movie_->stop();
    delete movie_;
    delete ui;
}

bool WaitingWin::isAnimated() const
{
    return movie_->isValid() && movie_->state() == QMovie::Running;
}

void WaitingWin::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (movie_->isValid()) {
        // Fit the animation into the label without distorting it.
        const QSize frame = movie_->frameRect().size().isEmpty() ? QSize(144, 144) : movie_->frameRect().size();
        movie_->setScaledSize(frame.scaled(ui->label_waiting->size(), Qt::KeepAspectRatio).boundedTo(frame));
    }
    if (!anchor_)
        return;
    const QPoint topLeft = anchor_->mapToGlobal(QPoint(0, 0));
    move(topLeft.x() + (anchor_->width() - width()) / 2, topLeft.y() + (anchor_->height() - height()) / 2);
}
