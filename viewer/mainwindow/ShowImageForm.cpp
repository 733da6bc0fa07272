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
    scene_->setSceneRect(item_->boundingRect());
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
    const bool resized = pixmap.size() != pixmap_.size();
    pixmap_ = pixmap;
    item_->setPixmap(pixmap_);
    // A sensor of another size: the scene is the picture (a scene only ever grows by itself, which
    // would leave a smaller picture in the corner of the old one) and the view fits it afresh.
    if (resized) {
        scene_->setSceneRect(item_->boundingRect());
        ui->graphicsView->fit();
    }
}

void ShowImageForm::fitPicture()
{
    if (!pixmap_.isNull())
        ui->graphicsView->fit();
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
