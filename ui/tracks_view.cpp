// The Tracks table and the marked frame slider.
#include "tracks_view.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>

namespace orvik {

namespace {

QTableWidgetItem* numberItem(int value) {
    auto* item = new QTableWidgetItem;
    item->setData(Qt::DisplayRole, value);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

TracksTable::TracksTable(QWidget* parent) : QTableWidget(0, 5, parent) {
    setObjectName(QStringLiteral("TracksTable"));
    setAccessibleName(QStringLiteral("Tracks"));
    setHorizontalHeaderLabels({QStringLiteral("Id"), QStringLiteral("First frame"),
                               QStringLiteral("Last frame"), QStringLiteral("Parent"),
                               QStringLiteral("End")});
    verticalHeader()->hide();
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    connect(this, &QTableWidget::itemSelectionChanged, this, [this] {
        if (filling_) return;
        const QList<QTableWidgetItem*> chosen = selectedItems();
        if (chosen.isEmpty()) return;
        const int row = chosen.front()->row();
        emit trackChosen(item(row, 0)->data(Qt::DisplayRole).toInt(),
                         item(row, 1)->data(Qt::DisplayRole).toInt() - 1);
    });
}

void TracksTable::showTracks(const std::vector<Track>& tracks) {
    filling_ = true;
    setSortingEnabled(false);
    clearContents();
    setRowCount(0);
    for (const Track& track : tracks) {
        if (track.id == 0) continue; // the contour followed alone is no object's track
        const int row = rowCount();
        insertRow(row);
        setItem(row, 0, numberItem(track.id));
        setItem(row, 1, numberItem(track.firstFrame + 1));
        setItem(row, 2, numberItem(track.lastFrame() + 1));
        setItem(row, 3, track.parent != 0 ? numberItem(track.parent) : new QTableWidgetItem);
        const std::string end = !track.ended.empty()   ? track.ended
                                : !track.error.empty() ? "failed"
                                                       : std::string();
        setItem(row, 4, new QTableWidgetItem(QString::fromStdString(end)));
    }
    setSortingEnabled(true);
    sortByColumn(0, Qt::AscendingOrder);
    resizeColumnsToContents();
    filling_ = false;
}

TrackSlider::TrackSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

void TrackSlider::setMarks(std::vector<int> starts, std::vector<int> ends) {
    starts_ = std::move(starts);
    ends_ = std::move(ends);
    update();
}

void TrackSlider::paintEvent(QPaintEvent* event) {
    QSlider::paintEvent(event);
    if ((starts_.empty() && ends_.empty()) || maximum() <= minimum()) return;
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const int span = groove.width() - handle.width();
    const auto xOf = [&](int frame) {
        return groove.x() + handle.width() / 2 +
               QStyle::sliderPositionFromValue(minimum(), maximum(), frame, span);
    };
    QPainter painter(this);
    // Starts green above the groove, ends red below it.
    painter.setPen(QPen(QColor(0, 150, 0), 2));
    for (const int f : starts_)
        painter.drawLine(xOf(f), rect().top(), xOf(f), rect().top() + 4);
    painter.setPen(QPen(QColor(200, 0, 0), 2));
    for (const int f : ends_)
        painter.drawLine(xOf(f), rect().bottom() - 4, xOf(f), rect().bottom());
}

void trackMarks(const std::vector<Track>& tracks, std::vector<int>& starts,
                std::vector<int>& ends) {
    starts.clear();
    ends.clear();
    if (tracks.empty()) return;
    int first = tracks.front().firstFrame;
    for (const Track& track : tracks)
        first = std::min(first, track.firstFrame);
    for (const Track& track : tracks) {
        if (track.firstFrame > first) starts.push_back(track.firstFrame);
        if (!track.ended.empty() || !track.error.empty()) ends.push_back(track.lastFrame() + 1);
    }
    for (std::vector<int>* marks : {&starts, &ends}) {
        std::sort(marks->begin(), marks->end());
        marks->erase(std::unique(marks->begin(), marks->end()), marks->end());
    }
}

} // namespace orvik
