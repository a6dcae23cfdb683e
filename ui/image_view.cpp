// The image view: the display bitmap at 1:1 under a cross-hair, and its mouse events.
#include "image_view.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QtMath>

namespace orvik {

namespace {

// The pixel under the pointer; left of or above the view is negative.
QPoint pixelOf(const QMouseEvent* event) {
    const QPointF p = event->position();
    return {qFloor(p.x()), qFloor(p.y())};
}

} // namespace

ImageView::ImageView(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::CrossCursor);
    // Every move reaches the window, with or without a button held; it ignores those
    // that are not part of a drag.
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(0, 0);
}

void ImageView::setPicture(const QImage* picture) {
    picture_ = picture;
    update();
}

void ImageView::paintEvent(QPaintEvent* event) {
    if (picture_ == nullptr || picture_->isNull()) return;
    QPainter painter(this);
    const QRect r = event->rect();
    painter.drawImage(r.topLeft(), *picture_, r);
}

void ImageView::mousePressEvent(QMouseEvent* event) {
    emit pressed(event->button(), pixelOf(event));
}

void ImageView::mouseMoveEvent(QMouseEvent* event) {
    emit moved(pixelOf(event));
}

void ImageView::mouseReleaseEvent(QMouseEvent* event) {
    emit released(event->button(), pixelOf(event));
}

} // namespace orvik
