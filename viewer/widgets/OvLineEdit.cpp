#include "OvLineEdit.h"

#include "OvLineEditBase.h"
#include "OvSlider.h"
#include "PopWidget.h"

#include <QHBoxLayout>

OvLineEdit::OvLineEdit(QWidget* parent)
    : QWidget(parent), lineEdit_(new OvLineEditBase(this)), slider_(new OvSlider(Qt::Horizontal, this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lineEdit_);
    slider_->hide();  // lives in the popup once there is one
    slider_->setStyleSheet(QStringLiteral(
        "QSlider::groove:horizontal { height: 4px; background: #D9D9D9; border: none; border-radius: 2px; }\n"
        "QSlider::sub-page:horizontal { background: #004B6A; border-radius: 2px; }\n"
        "QSlider::handle:horizontal { width: 14px; margin: -5px 0px; background: #FFFFFF; "
        "border: 1px solid #004B6A; border-radius: 7px; }"));

    connect(lineEdit_, &QLineEdit::textEdited, this, &OvLineEdit::textEdited);
    connect(lineEdit_, &QLineEdit::editingFinished, this, &OvLineEdit::onEditingFinished);
    connect(slider_, &QSlider::valueChanged, this, &OvLineEdit::onSliderValueChanged);
    connect(lineEdit_, &OvLineEditBase::signalMouseHoverd, this, &OvLineEdit::slotMouseHoverd);
}

void OvLineEdit::onEditingFinished()
{
    if (updating_)
        return;
    updating_ = true;
    bool ok = false;
    const int value = lineEdit_->text().toInt(&ok, 10);
    if (ok)
        slider_->setValue(value);
    Q_EMIT textFinished(lineEdit_->text());
    updating_ = false;
}

void OvLineEdit::onSliderValueChanged(int value)
{
    if (updating_)
        return;
    updating_ = true;
    lineEdit_->setText(QString::number(value, 10));
    Q_EMIT textFinished(lineEdit_->text());
    updating_ = false;
}

void OvLineEdit::slotMouseHoverd(bool hovered)
{
    if (!hovered) {
        if (popup_)
            popup_->hide();
        return;
    }
    if (!popup_) {
        popup_ = new PopWidget(this);
        popup_->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
        popup_->setAttribute(Qt::WA_ShowWithoutActivating);
        popup_->setFocusPolicy(Qt::NoFocus);
        slider_->setFocusPolicy(Qt::NoFocus);
        popup_->addWidget(slider_);
        slider_->show();
        popup_->resize(qMax(width(), 160), 36);
    }
    popup_->move(lineEdit_->mapToGlobal(QPoint(0, lineEdit_->height())));
    popup_->show();
}
