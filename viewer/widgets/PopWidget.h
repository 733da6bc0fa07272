// A translucent popup container with a rounded panel; the line edit of the settings panels
// shows its slider in one.
#pragma once

#include <QWidget>

namespace Ui {
class PopWidget;
}

class PopWidget : public QWidget {
    Q_OBJECT
public:
    explicit PopWidget(QWidget* parent = nullptr);
    ~PopWidget() override;

    void addWidget(QWidget* widget);

private:
    Ui::PopWidget* ui;
};
