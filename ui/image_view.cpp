// The image view: the display bitmap at any zoom under a cross-hair, its overlays, and its
// mouse events in image pixels.
#include "image_view.h"

#include <QHash>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtMath>
#include <algorithm>
#include <array>
#include <utility>

namespace orvik {

namespace {

// Image pixels far outside the picture are held here, well inside the range of an int.
constexpr double kFarOff = 1.0e9;

int toPixel(double v) {
    return static_cast<int>(std::clamp(std::floor(v), -kFarOff, kFarOff));
}

// Zoom steps of Zoom In and Zoom Out; the first and the last bound every zoom.
constexpr std::array<double, 23> kZoomSteps{
    1.0 / 64, 1.0 / 48, 1.0 / 32, 1.0 / 24, 1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6,
    1.0 / 4,  1.0 / 3,  1.0 / 2,  2.0 / 3,  1.0,      1.5,      2.0,     3.0,
    4.0,      6.0,      8.0,      12.0,     16.0,     24.0,     32.0};

const QColor kOutlineYellow(255, 220, 0);

// An id as a small picture: yellow figures with a dark halo, so that they stay legible over
// bright objects too. Made once per outline, since drawing text is slow and a picture holds
// hundreds of objects.
QImage idLabel(int id) {
    QFont font;
    font.setPixelSize(11);
    const QFontMetrics metrics(font);
    const QString text = QString::number(id);
    QImage label(metrics.horizontalAdvance(text) + 2, metrics.height() + 2,
                 QImage::Format_ARGB32_Premultiplied);
    label.fill(Qt::transparent);
    QPainter painter(&label);
    painter.setFont(font);
    const QPointF base(1, 1 + metrics.ascent());
    painter.setPen(QColor(0, 0, 0, 200));
    for (const QPointF offset : {QPointF(-1, 0), QPointF(1, 0), QPointF(0, -1), QPointF(0, 1)})
        painter.drawText(base + offset, text);
    painter.setPen(kOutlineYellow);
    painter.drawText(base, text);
    return label;
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
    reduced_ = QImage();
    update();
}

void ImageView::setPlainPicture(QImage plain) {
    plain_ = std::move(plain);
    reduced_ = QImage();
    update();
}

const QImage& ImageView::zoomedSource() const {
    return plain_.isNull() ? *picture_ : plain_;
}

QSize ImageView::zoomedSize(double zoom) const {
    if (picture_ == nullptr || picture_->isNull()) return {0, 0};
    // A hair below the exact product, so that a fitted picture does not spill over by one.
    const auto side = [zoom](int pixels) { return std::max(1, qCeil(pixels * zoom - 1e-6)); };
    return {side(picture_->width()), side(picture_->height())};
}

void ImageView::setZoom(double zoom) {
    zoom_ = zoom;
    reduced_ = QImage();
    reducedTint_ = QImage();
    setFixedSize(zoomedSize(zoom));
    update();
}

QAbstractScrollArea* ImageView::scrollArea() const {
    QWidget* viewport = parentWidget();
    return viewport ? qobject_cast<QAbstractScrollArea*>(viewport->parentWidget()) : nullptr;
}

void ImageView::zoomAround(double zoom, std::optional<QPoint> anchor) {
    zoom = std::clamp(zoom, kZoomSteps.front(), kZoomSteps.back());
    QAbstractScrollArea* area = scrollArea();
    if (area == nullptr) {
        setZoom(zoom);
        emit zoomChanged();
        return;
    }
    const QPoint at = anchor.value_or(area->viewport()->rect().center());
    // The image point under the anchor, before and after.
    const QPointF imagePoint = QPointF(at - pos()) / zoom_;
    setZoom(zoom);
    const QPointF shown = imagePoint * zoom - QPointF(at);
    area->horizontalScrollBar()->setValue(qRound(shown.x()));
    area->verticalScrollBar()->setValue(qRound(shown.y()));
    emit zoomChanged();
}

void ImageView::zoomIn() {
    const auto next = std::find_if(kZoomSteps.begin(), kZoomSteps.end(),
                                   [this](double step) { return step > zoom_ * 1.001; });
    if (next != kZoomSteps.end()) zoomAround(*next);
}

void ImageView::zoomOut() {
    const auto next = std::find_if(kZoomSteps.rbegin(), kZoomSteps.rend(),
                                   [this](double step) { return step < zoom_ / 1.001; });
    if (next != kZoomSteps.rend()) zoomAround(*next);
}

double ImageView::fitZoom() const {
    const QAbstractScrollArea* area = scrollArea();
    if (picture_ == nullptr || picture_->isNull() || area == nullptr) return 1.0;
    const QSize room = area->maximumViewportSize();
    return std::min(double(room.width()) / picture_->width(),
                    double(room.height()) / picture_->height());
}

void ImageView::zoomToFit() {
    zoomAround(fitZoom());
}

bool ImageView::event(QEvent* event) {
    // Placed in a scroll area: Ctrl+wheel anywhere over its viewport zooms.
    if (event->type() == QEvent::ParentChange && scrollArea() != nullptr)
        parentWidget()->installEventFilter(this);
    return QWidget::event(event);
}

bool ImageView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Wheel) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            if (picture_ != nullptr && !picture_->isNull() && wheel->angleDelta().y() != 0)
                zoomAround(zoom_ * (wheel->angleDelta().y() > 0 ? 1.25 : 0.8),
                           wheel->position().toPoint());
            return true; // the plain wheel scrolls; with Ctrl it never does
        }
        if (editOverlay_ && editOverlay_->wheel) {
            // Alt turns a vertical wheel into a horizontal one on some systems.
            const QPoint delta = wheel->angleDelta();
            const int turn = delta.y() != 0 ? delta.y() : delta.x();
            if (turn != 0) emit brushWheel(turn > 0 ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QPoint ImageView::imagePixel(QPointF position) const {
    if (zoom_ == 1.0) return {toPixel(position.x()), toPixel(position.y())};
    // A hair of slack, so that a pixel's own corner never rounds into its neighbour.
    constexpr double slack = 1e-9;
    return {toPixel(position.x() / zoom_ + slack), toPixel(position.y() / zoom_ + slack)};
}

QPoint ImageView::viewPoint(QPoint pixel) const {
    return {qFloor(pixel.x() * zoom_), qFloor(pixel.y() * zoom_)};
}

QPointF ImageView::centreOf(QPoint pixel) const {
    return {(pixel.x() + 0.5) * zoom_, (pixel.y() + 0.5) * zoom_};
}

void ImageView::setContourLines(QList<QPolygon> lines) {
    contourLines_ = std::move(lines);
    if (zoom_ != 1.0) update();
}

void ImageView::setRubberBand(std::optional<RubberBand> band) {
    rubberBand_ = band;
    if (zoom_ != 1.0) update();
}

void ImageView::setObjectOutlines(QList<ObjectOutline> outlines) {
    // An id keeps its label while its object stays in the list.
    QHash<int, QImage> made;
    for (qsizetype i = 0; i < objectOutlines_.size() && i < labels_.size(); ++i)
        made.insert(objectOutlines_[i].id, labels_[i]);
    objectOutlines_ = std::move(outlines);
    labels_.clear();
    for (const ObjectOutline& outline : std::as_const(objectOutlines_))
        labels_.push_back(made.contains(outline.id) ? made.value(outline.id) : idLabel(outline.id));
    update();
}

void ImageView::setTint(QImage tint) {
    tint_ = std::move(tint);
    reducedTint_ = QImage();
    update();
}

// Smoothed down to exactly the view's size. The view already has the picture's proportions
// (up to rounding), so the picture is stretched to it: the default mode of QImage::scaled.
namespace {
QImage smoothlyReduced(const QImage& source, QSize viewSize) {
    return source.scaled(viewSize, {}, Qt::SmoothTransformation);
}
} // namespace

const QImage& ImageView::reducedPicture() {
    const QImage& source = zoomedSource();
    const bool stale = reduced_.isNull() || reducedKey_ != source.cacheKey();
    if (stale && (!rubberBand_ || reduced_.isNull())) {
        reduced_ = smoothlyReduced(source, size());
        reducedKey_ = source.cacheKey();
    }
    return reduced_;
}

const QImage& ImageView::reducedTint() {
    if (reducedTint_.isNull()) reducedTint_ = smoothlyReduced(tint_, size());
    return reducedTint_;
}

// The source pixels under the exposed part, each drawn as a square of zoom × zoom.
void ImageView::paintEnlarged(QPainter& painter, const QImage& source, QRect exposed) const {
    const int x0 = std::max(0, qFloor(exposed.left() / zoom_));
    const int y0 = std::max(0, qFloor(exposed.top() / zoom_));
    const int x1 = std::min(source.width(), qCeil((exposed.right() + 1) / zoom_));
    const int y1 = std::min(source.height(), qCeil((exposed.bottom() + 1) / zoom_));
    if (x1 <= x0 || y1 <= y0) return;
    const QRectF target(x0 * zoom_, y0 * zoom_, (x1 - x0) * zoom_, (y1 - y0) * zoom_);
    painter.drawImage(target, source, QRect(x0, y0, x1 - x0, y1 - y0));
}

void ImageView::paintEvent(QPaintEvent* event) {
    if (picture_ == nullptr || picture_->isNull()) return;
    QPainter painter(this);
    const QRect r = event->rect();
    if (zoom_ == 1.0) {
        // The bitmap as it is, with the contour and the rubber band drawn into it.
        painter.drawImage(r.topLeft(), *picture_, r);
        if (!tint_.isNull()) painter.drawImage(r.topLeft(), tint_, r);
        paintObjectOutlines(painter, r);
        paintEditOverlay(painter);
        return;
    }
    if (zoom_ > 1.0) {
        paintEnlarged(painter, zoomedSource(), r);
        if (!tint_.isNull()) paintEnlarged(painter, tint_, r);
    } else {
        painter.drawImage(r.topLeft(), reducedPicture(), r);
        if (!tint_.isNull()) painter.drawImage(r.topLeft(), reducedTint(), r);
    }
    paintObjectOutlines(painter, r);
    paintOverlays(painter);
    paintEditOverlay(painter);
}

void ImageView::setEditOverlay(std::optional<EditOverlay> overlay) {
    editOverlay_ = std::move(overlay);
    update();
}

// Handles of 7 screen pixels whatever the zoom: white with a dark rim, a pinned one filled in
// orange; the brush a white and black dashed circle.
void ImageView::paintEditOverlay(QPainter& painter) const {
    if (!editOverlay_) return;
    painter.setRenderHint(QPainter::Antialiasing, false);
    const auto screen = [this](QPointF p) { return QPointF(p.x() * zoom_, p.y() * zoom_); };
    constexpr double half = 3.0;
    for (qsizetype i = 0; i < editOverlay_->points.size(); ++i) {
        const QPointF c = screen(editOverlay_->points[i]);
        const bool pinned = i < editOverlay_->pinned.size() && editOverlay_->pinned[i];
        painter.setPen(QPen(QColor(0, 0, 0), 0));
        painter.setBrush(pinned ? QBrush(QColor(255, 140, 0)) : QBrush(Qt::white));
        painter.drawRect(QRectF(c.x() - half, c.y() - half, 2 * half, 2 * half));
    }
    painter.setBrush(Qt::NoBrush);
    if (editOverlay_->brush) {
        const QPointF c = screen(*editOverlay_->brush);
        const double r = editOverlay_->brushRadius * zoom_;
        for (const QPen& pen : {QPen(Qt::white, 0), QPen(Qt::black, 0, Qt::DashLine)}) {
            painter.setPen(pen);
            painter.drawEllipse(c, r, r);
        }
    }
}

// Yellow reads well on grey pictures of either polarity. Only the outlines within the
// exposed part are drawn.
void ImageView::paintObjectOutlines(QPainter& painter, QRect exposed) const {
    if (objectOutlines_.isEmpty()) return;
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(kOutlineYellow, 0));
    for (qsizetype i = 0; i < objectOutlines_.size(); ++i) {
        const ObjectOutline& outline = objectOutlines_[i];
        const QRect bounds = outline.vertices.boundingRect();
        const QRectF screenBounds(centreOf(bounds.topLeft()), centreOf(bounds.bottomRight()));
        const QImage& label = labels_[i];
        if (!screenBounds.adjusted(-label.width(), -label.height(), label.width(), label.height())
                 .intersects(exposed))
            continue;
        QPolygonF screen;
        screen.reserve(outline.vertices.size());
        for (const QPoint& p : outline.vertices)
            screen << centreOf(p);
        painter.drawPolyline(screen);
        const QPointF centre = screenBounds.center();
        painter.drawImage(
            QPointF(centre.x() - label.width() / 2.0, centre.y() - label.height() / 2.0), label);
    }
}

// The contour and the rubber band from their vertices, one screen pixel wide, through the
// centres of their pixels.
void ImageView::paintOverlays(QPainter& painter) const {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(255, 0, 0), 0));
    for (const QPolygon& line : std::as_const(contourLines_)) {
        QPolygonF screen;
        for (const QPoint& p : line)
            screen << centreOf(p);
        painter.drawPolyline(screen);
    }
    if (rubberBand_) {
        const QPointF a = centreOf(rubberBand_->start), b = centreOf(rubberBand_->end);
        for (const QPen& pen : {QPen(Qt::white, 0), QPen(Qt::black, 0, Qt::DashLine)}) {
            painter.setPen(pen);
            if (rubberBand_->line)
                painter.drawLine(a, b);
            else
                painter.drawEllipse(QRectF(a, b).normalized());
        }
    }
}

void ImageView::mousePressEvent(QMouseEvent* event) {
    pressModifiers_ = event->modifiers();
    emit pressed(event->button(), imagePixel(event->position()));
}

void ImageView::mouseMoveEvent(QMouseEvent* event) {
    emit moved(imagePixel(event->position()));
}

void ImageView::mouseReleaseEvent(QMouseEvent* event) {
    emit released(event->button(), imagePixel(event->position()));
}

} // namespace orvik
