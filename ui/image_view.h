// The image view: shows the display bitmap at 1:1 and passes mouse presses, moves and
// releases on to the window in image coordinates.
#pragma once

#include <QWidget>

class QImage;

namespace orvik {

class ImageView : public QWidget {
    Q_OBJECT
public:
    explicit ImageView(QWidget* parent = nullptr);

    // The picture to show, owned by the caller; null shows nothing. The view does not
    // resize itself: the window gives it the picture's size.
    void setPicture(const QImage* picture);
    const QImage* picture() const { return picture_; }

signals:
    // Positions are widget coordinates, which at 1:1 are image pixels; during a drag they
    // may lie outside the view.
    void pressed(Qt::MouseButton button, QPoint position);
    void moved(QPoint position);
    void released(Qt::MouseButton button, QPoint position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const QImage* picture_ = nullptr;
};

} // namespace orvik
