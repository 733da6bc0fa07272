// A frameless two-button question ("Tips" title bar, message, accept and reject buttons). Run it
// with exec() and branch on QDialog::Accepted; closing it from the title bar counts as rejected.
#pragma once

#include <QDialog>

namespace Ui {
class OVMessageBox;
}

class OVMessageBox : public QDialog {
    Q_OBJECT
public:
    OVMessageBox(const QString& text, const QString& title, const QString& acceptText,
                 const QString& rejectText, QWidget* parent = nullptr);
    ~OVMessageBox() override;

private Q_SLOTS:
    void on_pb_open_clicked();
    void on_pb_close_clicked();
    void on_pb_win_close_clicked();

private:
    Ui::OVMessageBox* ui;
};
