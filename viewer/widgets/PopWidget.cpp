#include "PopWidget.h"

#include "ui_PopWidget.h"

PopWidget::PopWidget(QWidget* parent) : QWidget(parent), ui(new Ui::PopWidget)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_TranslucentBackground);
}

PopWidget::~PopWidget()
{
    delete ui;
}

void PopWidget::addWidget(QWidget* widget)
{
    ui->layout_content->addWidget(widget);
}
