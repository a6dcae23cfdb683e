// The main window's view of the picture: the status line under it, how a new picture is first
// shown, the zoom and how to see a large picture whole, and the threshold tint.
#include "image_view.h"
#include "spin_field.h"
#include "tform1.h"
#include "tform1_layout.h"
#include "threshold_tint.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <algorithm>

namespace orvik {

namespace {

QString zoomText(double zoom) {
    const double percent = zoom * 100.0;
    return QString::number(percent, 'f', percent < 10.0 ? 1 : 0) + u'%';
}

} // namespace

void TForm1::buildStatusLine() {
    StatusLine = new QWidget(this);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    StatusLine->setAccessibleName(QStringLiteral("Status line"));
    auto* layout = new QHBoxLayout(StatusLine);
    layout->setContentsMargins(scaled(4), scaled(2), scaled(4), scaled(2));
    layout->setSpacing(scaled(8));

    MeasurementsLabel = new QLabel(StatusLine);
    MeasurementsLabel->setObjectName(QStringLiteral("MeasurementsLabel"));
    MeasurementsLabel->setAccessibleName(QStringLiteral("Measurements"));
    MeasurementsLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    MeasurementsLabel->setMinimumWidth(0);
    MeasurementsLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    ZoomLabel = new QLabel(StatusLine);
    ZoomLabel->setObjectName(QStringLiteral("ZoomLabel"));
    ZoomLabel->setAccessibleName(QStringLiteral("Zoom"));
    ZoomLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    layout->addWidget(MeasurementsLabel, 1);
    layout->addWidget(ZoomLabel);
    // The line keeps its height whether or not it holds text.
    StatusLine->setFixedHeight(QFontMetrics(font()).height() + scaled(4));
}

// A new picture is shown pixel for pixel, so that every pixel can be reached with the mouse;
// the window grows, within the screen, to show as much of it as it can.
void TForm1::showLoadedPicture() {
    if (isVisible()) {
        if (const QScreen* s = screen()) {
            const QRect room = s->availableGeometry();
            const QSize frame = frameGeometry().size() - size();
            const QSize wanted(doc_.image().ImageWidth + Panel3->width(),
                               std::max(doc_.image().ImageHeight, scaled(sizes::ClientHeight)) +
                                   frameExtraHeight());
            const QSize grown = size().expandedTo(wanted).boundedTo(room.size() - frame);
            if (grown != size()) {
                resize(grown);
                // Keep the whole frame on the screen.
                QRect placed = frameGeometry();
                placed.moveRight(std::min(placed.right(), room.right()));
                placed.moveBottom(std::min(placed.bottom(), room.bottom()));
                placed.moveLeft(std::max(placed.left(), room.left()));
                placed.moveTop(std::max(placed.top(), room.top()));
                move(placed.topLeft());
                layout()->activate();
                ClientArea->layout()->activate();
            }
        }
    }
    Image1->zoomAround(1.0, QPoint(0, 0));
}

// The zoom, and how to see a picture whole that is larger than the view.
void TForm1::showZoom() {
    if (doc_.image().Display.isNull()) {
        ZoomLabel->clear();
        return;
    }
    const double zoom = Image1->zoom();
    QString text = zoomText(zoom);
    // Not when the user enlarged the picture on purpose.
    const QSize shown = Image1->size(), room = ScrollBox1->maximumViewportSize();
    if (zoom <= 1.0 && (shown.width() > room.width() || shown.height() > room.height()))
        text = QStringLiteral("Larger than the view: Ctrl+0 fits it \u00B7 ") + text;
    ZoomLabel->setText(text);
}

int TForm1::frameExtraHeight() const {
    // The menu bar's height as the window's layout gives it: its height for the window's
    // width, a pixel above its size hint in some styles at a fractional scale.
    const int menu = MenuBar->heightForWidth(std::max(width(), MenuBar->minimumWidth()));
    return (menu > 0 ? menu : MenuBar->sizeHint().height()) + StatusLine->height();
}

void TForm1::updateThresholdPreview() {
    if (!ShowThresholdAction->isChecked() || doc_.image().Display.isNull()) {
        Image1->setTint({});
        return;
    }
    Image1->setTint(
        thresholdTint(doc_.image(), upDown(Field::Threshold)->value(), RadioButton5->isChecked()));
}

} // namespace orvik
