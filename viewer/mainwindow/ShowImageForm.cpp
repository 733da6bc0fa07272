#include "ShowImageForm.h"

#include "OvGraphicsView.h"
#include "ui_ShowImageForm.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsScene>

ShowImageForm::ShowImageForm(QWidget* parent)
    : QWidget(parent), ui(new Ui::ShowImageForm), scene_(new QGraphicsScene(this)),
      pixmap_(kDefaultWidth, kDefaultHeight)
{
    ui->setupUi(this);
    ui->graphicsView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui->graphicsView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui->graphicsView->setScene(scene_);
    pixmap_.fill(QColor(0x70, 0x70, 0x70));
    item_ = scene_->addPixmap(pixmap_);
}

ShowImageForm::~ShowImageForm()
{
    delete ui;
}

OvGraphicsView* ShowImageForm::view() const
{
    return ui->graphicsView;
}

void ShowImageForm::slotShowImage(const QImage& image)
{
    showPixMap(QPixmap::fromImage(image));
}

void ShowImageForm::showPixMap(const QPixmap& pixmap)
{
    pixmap_ = pixmap;
    item_->setPixmap(pixmap_);
}

void ShowImageForm::fitPicture()
{
    if (!pixmap_.isNull())
        ui->graphicsView->fitInView(item_, Qt::KeepAspectRatio);
}

void ShowImageForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    fitPicture();
}

void ShowImageForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitPicture();
}
