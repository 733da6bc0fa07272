#include "WaitingWin.h"

#include "ui_WaitingWin.h"

#include <QDebug>
#include <QKeyEvent>
#include <QLabel>
#include <QMovie>
#include <QPushButton>

WaitingWin::WaitingWin(QWidget* anchor, const QString& animationFile)
    : QDialog(nullptr), ui(new Ui::WaitingWin), anchor_(anchor), movie_(nullptr), message_(new QLabel(this))
{
    ui->setupUi(this);
    message_->setObjectName(QStringLiteral("label_message"));
    message_->setAlignment(Qt::AlignCenter);
    message_->hide();
    message_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    ui->verticalLayout->addWidget(message_, 0, Qt::AlignHCenter | Qt::AlignTop);
    ui->verticalLayout->setStretch(0, 1);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setStyleSheet(QStringLiteral("background: transparent;"));
    ui->label_waiting->setStyleSheet(QStringLiteral("background: transparent;"));
    message_->setStyleSheet(QStringLiteral("background-color: rgba(46, 51, 56, 200); color: #FFFFFF; border-radius: 10px; "
                                           "padding: 4px 14px; font-family: \"Noto Sans SC Medium\"; font-size: 13px;"));
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

void WaitingWin::setMessage(const QString& text)
{
    message_->setText(text);
    message_->setVisible(!text.isEmpty());
}

void WaitingWin::offerCancel(std::function<void()> cancel)
{
    auto* button = new QPushButton(tr("Cancel"), this);
    button->setObjectName(QStringLiteral("pb_cancel"));
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: #FFFFFF; color: #004B6A; border: 1px solid #004B6A; "
                                         "border-radius: 4px; padding: 4px 18px; font-size: 13px; }\n"
                                         "QPushButton:disabled { color: #B0B0B0; border-color: #B0B0B0; }"));
    ui->verticalLayout->addWidget(button, 0, Qt::AlignHCenter | Qt::AlignTop);
    connect(button, &QPushButton::clicked, this, [this, button, cancel = std::move(cancel)] {
        button->setEnabled(false);
        setMessage(tr("Cancelling ..."));
        cancel();
    });
}

void WaitingWin::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

QString WaitingWin::message() const
{
    return message_->text();
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
