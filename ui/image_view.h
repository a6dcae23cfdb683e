// The image view: shows the display bitmap at any zoom and passes mouse presses, moves and
// releases on to the window in image pixels.
#pragma once

#include <QImage>
#include <QList>
#include <QPolygon>
#include <QWidget>
#include <optional>

class QAbstractScrollArea;

namespace orvik {

class ImageView : public QWidget {
    Q_OBJECT
public:
    explicit ImageView(QWidget* parent = nullptr);

    // The picture to show, owned by the caller; null shows nothing. The view takes the
    // picture's size at the current zoom whenever setZoom is called.
    void setPicture(const QImage* picture);
    const QImage* picture() const { return picture_; }
    // The same picture without anything drawn into it (the grey image alone), shown instead
    // whenever the zoom is not 1:1, under the contour and the rubber band drawn at screen
    // resolution; null shows the picture itself at every zoom.
    void setPlainPicture(QImage plain);

    // Screen pixels per image pixel. Enlarged pixels stay sharp squares; a reduced picture
    // is smoothed; at any zoom but 1:1 the contour and the rubber band are drawn over it at
    // screen resolution, one screen pixel wide. The bitmap itself is not touched.
    double zoom() const { return zoom_; }
    void setZoom(double zoom);
    // The size the view takes for the picture at `zoom`.
    QSize zoomedSize(double zoom) const;

    // In the scroll area that holds the view: zooms (within the smallest and largest zoom
    // steps) so that the image point under `anchor`, a point of the area's viewport, stays
    // there; without an anchor the viewport's centre stays. Ctrl+wheel over the area zooms
    // around the pointer the same way.
    void zoomAround(double zoom, std::optional<QPoint> anchor = std::nullopt);
    void zoomIn();  // to the next larger zoom step
    void zoomOut(); // to the next smaller one
    // The zoom at which the whole picture fills the scroll area, and zooming to it.
    double fitZoom() const;
    void zoomToFit();

    // The image pixel under a view position, at any zoom; left of or above the picture is
    // negative. And back: the view position of a pixel's top-left corner.
    QPoint imagePixel(QPointF position) const;
    QPoint viewPoint(QPoint pixel) const;

    // What the reduced view draws over the picture, in image pixels: the contour's lines
    // as Draw passes them, and the rubber band of a drag (an ellipse in the box of its two
    // corners, or the line between them). While a rubber band shows, the reduced picture
    // is not refreshed: the bitmap holds the band only as inverted pixels.
    void setContourLines(QList<QPolygon> lines);
    const QList<QPolygon>& contourLines() const { return contourLines_; }
    struct RubberBand {
        QPoint start, end;
        bool line = false;
    };
    void setRubberBand(std::optional<RubberBand> band);

    // The outlines of the picture's other objects, drawn over the picture at every zoom (at
    // 1:1 too, over the bitmap rather than into it) in yellow, each with its id at its centre.
    struct ObjectOutline {
        int id = 0;
        QPolygon vertices; // as Draw passes them, in image pixels
    };
    void setObjectOutlines(QList<ObjectOutline> outlines);
    const QList<ObjectOutline>& objectOutlines() const { return objectOutlines_; }

    // "Edit outline": the current object's points as small handles at every zoom (a pinned
    // one filled), and the brush's circle round the pointer. Positions in image coordinates
    // (pixel (i, j) covers [i, i + 1) × [j, j + 1)). With `wheel` set, the plain wheel over
    // the view is the brush's (brushWheel) rather than the scroll bars'.
    struct EditOverlay {
        QList<QPointF> points;
        QList<bool> pinned;
        std::optional<QPointF> brush;
        double brushRadius = 0;
        bool wheel = false;
    };
    void setEditOverlay(std::optional<EditOverlay> overlay);
    // The keys held at the last mouse press over the view.
    Qt::KeyboardModifiers pressModifiers() const { return pressModifiers_; }
    const std::optional<EditOverlay>& editOverlay() const { return editOverlay_; }

    // A translucent picture of the image's size laid over it at every zoom; null for none.
    void setTint(QImage tint);
    const QImage& tint() const { return tint_; }

signals:
    void zoomChanged();
    // Positions are image pixels; during a drag they may lie outside the picture.
    void pressed(Qt::MouseButton button, QPoint position);
    void moved(QPoint position);
    void released(Qt::MouseButton button, QPoint position);
    // The wheel turned over the view in "Edit outline", in steps of 15 degrees.
    void brushWheel(int steps);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QAbstractScrollArea* scrollArea() const;
    void paintEnlarged(QPainter& painter, const QImage& source, QRect exposed) const;
    const QImage& reducedPicture();
    const QImage& zoomedSource() const; // what a zoom other than 1:1 shows
    void paintOverlays(QPainter& painter) const;
    void paintObjectOutlines(QPainter& painter, QRect exposed) const;
    void paintEditOverlay(QPainter& painter) const;
    const QImage& reducedTint();
    QPointF centreOf(QPoint pixel) const;

    const QImage* picture_ = nullptr;
    QImage plain_;
    double zoom_ = 1.0;
    QList<QPolygon> contourLines_;
    QList<ObjectOutline> objectOutlines_;
    QList<QImage> labels_; // each outline's id, drawn once
    std::optional<RubberBand> rubberBand_;
    QImage tint_;
    std::optional<EditOverlay> editOverlay_;
    Qt::KeyboardModifiers pressModifiers_;
    // Smoothed copies for a reduced view, remade when their source or the zoom changes.
    QImage reduced_;
    qint64 reducedKey_ = 0;
    QImage reducedTint_;
};

} // namespace orvik
