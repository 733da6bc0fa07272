// The image area in the middle of the main window. Pictures arrive on the GUI thread, as QImage
// from the fusion frame builder and as QPixmap from the event frame accumulator; a new picture
// of the same size replaces the old one without changing the zoom; one of another size (another
// sensor) is fitted afresh. Until a source is open it shows a 1280 x 720 grey picture.
#pragma once

#include <QPixmap>
#include <QWidget>

class OvGraphicsView;
class QGraphicsPixmapItem;
class QGraphicsScene;

namespace Ui {
class ShowImageForm;
}

class ShowImageForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDefaultWidth = 1280;
    static constexpr int kDefaultHeight = 720;

    explicit ShowImageForm(QWidget* parent = nullptr);
    ~ShowImageForm() override;

    OvGraphicsView* view() const;
    QPixmap currentPixmap() const { return pixmap_; }
    QGraphicsPixmapItem* pixmapItem() const { return item_; }

public Q_SLOTS:
    void slotShowImage(const QImage& image);
    void showPixMap(const QPixmap& pixmap);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitPicture();

    Ui::ShowImageForm* ui;
    QGraphicsScene* scene_;
    QPixmap pixmap_;
    QGraphicsPixmapItem* item_;
};
