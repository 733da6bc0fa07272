#include "OvComboBox.h"

#include "OVComboBoxBase.h"
#include "StyleSheetEdit.h"
#include "ui_OvComboBox.h"

#include <QLineEdit>
#include <QTimer>

OvComboBox::OvComboBox(QWidget* parent) : QWidget(parent), ui(new Ui::OvComboBox)
{
    ui->setupUi(this);
    connect(ui->cb_combox_in_widget, &OVComboBoxBase::popupShown, this, [this] {
        // After the popup has opened, so that its own focus change cannot undo the look.
        QTimer::singleShot(0, this, [this] { setHighlighted(true); });
    });
    connect(ui->cb_combox_in_widget, &OVComboBoxBase::popupHidden, this, [this] { setHighlighted(false); });
}

OvComboBox::~OvComboBox()
{
    // The base destructor hides the combo box, which closes its popup: nothing may reach the
    // deleted form then.
    disconnect(ui->cb_combox_in_widget, nullptr, this, nullptr);
    delete ui;
}

OVComboBoxBase* OvComboBox::comboBox() const
{
    return ui->cb_combox_in_widget;
}

QWidget* OvComboBox::frame() const
{
    return ui->widget_combox_frame;
}

void OvComboBox::setTextColour(const QString& colour)
{
    auto* combo = ui->cb_combox_in_widget;
    combo->setStyleSheet(stylesheet::replaceColour(combo->styleSheet(), colour));
}

void OvComboBox::setFrameColour(const QString& colour)
{
    auto* frameWidget = ui->widget_combox_frame;
    frameWidget->setStyleSheet(stylesheet::replaceBorder(frameWidget->styleSheet(), QStringLiteral("2px solid ") + colour));
}

void OvComboBox::setHighlighted(bool highlighted)
{
    setFrameColour(highlighted ? QStringLiteral("#D7E7EE") : QStringLiteral("transparent"));
    setTextColour(highlighted ? QStringLiteral("#004B6A") : QStringLiteral("#A7A7A7"));
}

void OvComboBox::setLineEditEnabled(bool enabled)
{
    QLineEdit* edit = ui->cb_combox_in_widget->lineEdit();
    if (!edit)
        return;
    disconnect(textChangedConnection_);
    disconnect(editingFinishedConnection_);
    if (enabled) {
        textChangedConnection_ = connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) {
            Q_EMIT signalLineEditTextChanged(text);
            setHighlighted(true);
        });
        editingFinishedConnection_ = connect(edit, &QLineEdit::editingFinished, this, [this] {
            Q_EMIT signalLineEditEditingFinished();
            setHighlighted(false);
        });
    }
    edit->setReadOnly(!enabled);
}

void OvComboBox::on_cb_combox_in_widget_currentTextChanged(const QString& arg1)
{
    // Long entries are cut off in the box; the tip shows them whole.
    ui->cb_combox_in_widget->setToolTip(arg1);
}
