// Lists the cameras the driver found by serial number and lets the user pick one: "Open" or a
// double click accepts, "Close" rejects. The main window runs it modally and, when accepted,
// opens the camera at selectedIndex() in the list it passed in.
#pragma once

#include <orvane/hal/HalTypes.h>

#include <QDialog>

#include <vector>

class QListWidgetItem;

namespace Ui {
class CamerasList;
}

class CamerasList : public QDialog {
    Q_OBJECT
public:
    explicit CamerasList(const std::vector<orvane::CameraDescription>& descs, QWidget* parent = nullptr);
    ~CamerasList() override;

    // False when no row is current (an empty list); else true with the row's index into `descs`.
    bool selectedIndex(int& index) const;

protected:
    void showEvent(QShowEvent* event) override;

private Q_SLOTS:
    void on_pb_open_clicked();
    void on_pb_close_clicked();
    void on_pb_win_close_clicked();
    void on_listWidget_cameras_itemDoubleClicked(QListWidgetItem* item);

private:
    Ui::CamerasList* ui;
};
