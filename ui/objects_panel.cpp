// The Objects panel's table: the rows, their numbers and sorting, the flags, and the copy.
#include "objects_panel.h"

#include "core/result.h"
#include "tracks_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <array>

namespace orvik {

namespace {

enum Column {
    IdColumn,
    ModelColumn,
    AreaColumn,
    PerimeterColumn,
    ScaledAreaColumn,      // shown when the pixel size is known
    ScaledPerimeterColumn, // likewise
    CircularityColumn,
    MeanGreyColumn,
    FlagsColumn,
    ColumnCount
};

constexpr std::array<const char*, ColumnCount> kHeaders{
    "Id",        "Model",       "Area (px\u00B2)", "Perimeter (px)", "Area",
    "Perimeter", "Circularity", "Mean grey",       "Flags"};

const char* modelName(ModelChoice model) {
    switch (model) {
    case ModelChoice::CenterPoint:
        return "Center point";
    case ModelChoice::Standard:
        return "Standard";
    case ModelChoice::Balloon:
        return "Balloon";
    case ModelChoice::Opened:
        return "Opened";
    }
    return "";
}

// A cell that sorts by its number, not by its text; a cell without a number sorts first.
class NumberItem final : public QTableWidgetItem {
public:
    NumberItem() : QTableWidgetItem(UserType) {}
    bool operator<(const QTableWidgetItem& other) const override {
        const QVariant a = data(Qt::UserRole), b = other.data(Qt::UserRole);
        if (!a.isValid() && !b.isValid()) return text() < other.text();
        if (!a.isValid() || !b.isValid()) return !a.isValid();
        return a.toDouble() < b.toDouble();
    }
};

void setNumber(QTableWidgetItem* item, std::optional<double> value, int decimals) {
    item->setData(Qt::UserRole, value ? QVariant(*value) : QVariant());
    item->setText(value ? QString::number(*value, 'f', decimals) : QString());
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

} // namespace

ObjectsPanel::ObjectsPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ObjectsPanel"));
    setAccessibleName(QStringLiteral("Objects"));

    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("ObjectsSummary"));

    table_ = new QTableWidget(0, ColumnCount, this);
    table_->setObjectName(QStringLiteral("ObjectsTable"));
    table_->setAccessibleName(QStringLiteral("Objects"));
    summary_->setBuddy(table_);
    QStringList headers;
    for (const char* header : kHeaders)
        headers << QString::fromUtf8(header);
    table_->setHorizontalHeaderLabels(headers);
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setTabKeyNavigation(false); // Tab leaves the table, the arrows move in it
    table_->setSortingEnabled(true);
    table_->sortByColumn(IdColumn, Qt::AscendingOrder);
    table_->horizontalHeader()->setStretchLastSection(true);
    // Columns fit their contents when the list is filled, not at every change of a row: that
    // would measure every cell of the table each time.
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(2);
    layout->addWidget(summary_);
    // The frame shown's objects, and the tracks once objects are followed with detection.
    views_ = new QTabWidget(this);
    views_->setObjectName(QStringLiteral("ObjectsViews"));
    views_->setDocumentMode(true);
    views_->addTab(table_, QStringLiteral("&Frame"));
    tracks_ = new TracksTable(this);
    views_->addTab(tracks_, QStringLiteral("T&racks"));
    views_->setTabVisible(1, false);
    layout->addWidget(views_, 1);
    connect(tracks_, &TracksTable::trackChosen, this, &ObjectsPanel::trackChosen);

    table_->installEventFilter(this);
    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] {
        if (choosing_) return;
        const QList<QTableWidgetItem*> chosen = table_->selectedItems();
        emit objectChosen(chosen.isEmpty() ? 0 : chosen.front()->data(Qt::UserRole + 1).toInt());
    });
    updateSummary();
}

// Esc in the table lets go of the current object: the contour is a free one again.
bool ObjectsPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
        !table_->selectedItems().isEmpty()) {
        table_->clearSelection();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void ObjectsPanel::setMeasurer(Measurer measurer, const QString& unit) {
    measurer_ = std::move(measurer);
    table_->setColumnHidden(ScaledAreaColumn, unit.isEmpty());
    table_->setColumnHidden(ScaledPerimeterColumn, unit.isEmpty());
    table_->horizontalHeaderItem(ScaledAreaColumn)
        ->setText(QStringLiteral("Area (") + unit + QStringLiteral("\u00B2)"));
    table_->horizontalHeaderItem(ScaledPerimeterColumn)
        ->setText(QStringLiteral("Perimeter (%1)").arg(unit));
}

void ObjectsPanel::fillRow(int row, const PictureObject& object) {
    const bool hasContour = !object.result.contour.empty();
    const Measurements m = measurer_ ? measurer_(object) : Measurements{};
    std::array<QTableWidgetItem*, ColumnCount> cells{};
    for (int c = 0; c < ColumnCount; ++c)
        cells[c] = table_->item(row, c);
    for (int c = 0; c < ColumnCount; ++c) {
        if (cells[c] == nullptr) {
            cells[c] = new NumberItem;
            table_->setItem(row, c, cells[c]);
        }
        // Every cell knows its object, so that a selection of any cell names it.
        cells[c]->setData(Qt::UserRole + 1, object.id);
    }
    setNumber(cells[IdColumn], object.id, 0);
    cells[ModelColumn]->setText(QString::fromLatin1(modelName(object.values.model)));
    const auto number = [hasContour](double v) {
        return hasContour ? std::optional<double>(v) : std::nullopt;
    };
    if (m.closed) {
        setNumber(cells[AreaColumn], number(m.area), 1);
        setNumber(cells[PerimeterColumn], number(m.perimeter), 1);
        setNumber(cells[CircularityColumn], number(m.circularity), 3);
        setNumber(cells[MeanGreyColumn],
                  hasContour && m.pixels > 0 ? std::optional<double>(m.meanGrey) : std::nullopt, 1);
    } else {
        // An open chain has a length and encloses nothing.
        setNumber(cells[AreaColumn], std::nullopt, 1);
        setNumber(cells[PerimeterColumn], number(m.length), 1);
        setNumber(cells[CircularityColumn], std::nullopt, 3);
        setNumber(cells[MeanGreyColumn], std::nullopt, 1);
    }
    const bool scaled = hasContour && m.calibrated.has_value();
    setNumber(cells[ScaledAreaColumn],
              scaled && m.closed ? std::optional<double>(m.calibrated->area) : std::nullopt, 3);
    setNumber(cells[ScaledPerimeterColumn],
              scaled
                  ? std::optional<double>(m.closed ? m.calibrated->perimeter : m.calibrated->length)
                  : std::nullopt,
              3);
    // The error of the last analysis, else the flags of the drawing kept.
    QString flags = QString::fromStdString(flagNames(m.flags, ", "));
    if (!object.error.empty())
        flags = QStringLiteral("failed: ") + QString::fromStdString(object.error);
    else if (!object.ended.empty())
        flags = QStringLiteral("ended: ") + QString::fromStdString(object.ended);
    cells[FlagsColumn]->setText(flags);
    cells[FlagsColumn]->setToolTip(flags);
    const QBrush marked = flags.isEmpty() ? QBrush() : QBrush(QColor(255, 224, 178));
    for (QTableWidgetItem* cell : cells)
        cell->setBackground(marked);
}

void ObjectsPanel::showObjects(const std::vector<PictureObject>& objects, int currentId) {
    choosing_ = true;
    table_->setSortingEnabled(false);
    table_->clearContents();
    table_->setRowCount(static_cast<int>(objects.size()));
    for (std::size_t i = 0; i < objects.size(); ++i)
        fillRow(static_cast<int>(i), objects[i]);
    table_->setSortingEnabled(true);
    table_->resizeColumnsToContents();
    choosing_ = false;
    selectObject(currentId);
    updateSummary();
}

void ObjectsPanel::showObject(const PictureObject& object) {
    const int row = rowOf(object.id);
    if (row < 0) return;
    // The row's cells are taken before any changes, so a row that the sorting moves while
    // its cells change keeps them all.
    choosing_ = true;
    fillRow(row, object);
    choosing_ = false;
    updateSummary();
}

void ObjectsPanel::selectObject(int id) {
    choosing_ = true;
    const int row = rowOf(id);
    if (row < 0) {
        table_->clearSelection();
        table_->setCurrentItem(nullptr);
    } else {
        table_->selectRow(row);
        table_->scrollToItem(table_->item(row, IdColumn));
    }
    choosing_ = false;
}

void ObjectsPanel::showTracks(const std::vector<Track>& tracks) {
    tracks_->showTracks(tracks);
    const bool any = tracks_->rowCount() > 0;
    views_->setTabVisible(1, any);
    if (!any) views_->setCurrentIndex(0);
}

int ObjectsPanel::rowOf(int id) const {
    for (int row = 0; row < table_->rowCount(); ++row)
        if (const QTableWidgetItem* item = table_->item(row, IdColumn);
            item != nullptr && item->data(Qt::UserRole + 1).toInt() == id)
            return row;
    return -1;
}

int ObjectsPanel::rowCount() const {
    return table_->rowCount();
}

void ObjectsPanel::updateSummary() {
    int marked = 0;
    for (int row = 0; row < table_->rowCount(); ++row)
        if (const QTableWidgetItem* item = table_->item(row, FlagsColumn);
            item != nullptr && !item->text().isEmpty())
            ++marked;
    const int count = table_->rowCount();
    QString text =
        count == 1 ? QStringLiteral("1 object") : QStringLiteral("%1 objects").arg(count);
    if (marked > 0) text += QStringLiteral(" \u00B7 %1 flagged").arg(marked);
    summary_->setText(text);
}

QString ObjectsPanel::tableText() const {
    QStringList lines;
    QStringList header;
    for (int c = 0; c < ColumnCount; ++c)
        if (!table_->isColumnHidden(c)) header << table_->horizontalHeaderItem(c)->text();
    lines << header.join(u'\t');
    for (int row = 0; row < table_->rowCount(); ++row) {
        QStringList cells;
        for (int c = 0; c < ColumnCount; ++c) {
            if (table_->isColumnHidden(c)) continue;
            const QTableWidgetItem* item = table_->item(row, c);
            // Numbers in full, so that a spreadsheet computes with what was measured.
            const QVariant number = item ? item->data(Qt::UserRole) : QVariant();
            cells << (c != IdColumn && number.isValid() ? QString::number(number.toDouble(), 'g', 9)
                                                        : (item ? item->text() : QString()));
        }
        lines << cells.join(u'\t');
    }
    return lines.join(u'\n') + u'\n';
}

} // namespace orvik
