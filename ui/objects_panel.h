// The Objects panel: one row per object of the picture with its measurements, sortable by
// any column; choosing a row makes that object the current one.
#pragma once

#include "core/measurements.h"
#include "document/objects.h"

#include <QWidget>
#include <functional>
#include <vector>

class QLabel;
class QTabWidget;
class QTableWidget;

namespace orvik {

class TracksTable;

class ObjectsPanel : public QWidget {
    Q_OBJECT
public:
    explicit ObjectsPanel(QWidget* parent = nullptr);

    // How the rows measure an object's contour, and the unit of its calibrated values (none:
    // their columns are hidden).
    using Measurer = std::function<Measurements(const PictureObject& object)>;
    void setMeasurer(Measurer measurer, const QString& unit);

    // Fills the table anew; `currentId` (0 for none) is selected.
    void showObjects(const std::vector<PictureObject>& objects, int currentId);
    // Updates the row of one object only, as a change of the current object does.
    void showObject(const PictureObject& object);
    // Selects the row of `id`, or none for 0, without reporting a choice.
    void selectObject(int id);

    // The table as tab-separated text with its header, rows in the order shown: what a
    // spreadsheet takes from the clipboard.
    QString tableText() const;
    int rowCount() const;

    QTableWidget* table() const { return table_; }

    // The "Tracks" view beside the frame's objects: a row per track, shown while there are
    // tracks of objects (none: the view is hidden).
    void showTracks(const std::vector<Track>& tracks);
    TracksTable* tracksTable() const { return tracks_; }
    QTabWidget* views() const { return views_; }

signals:
    // The user chose the row of `id` (0: no row is chosen any more).
    void objectChosen(int id);
    // The user chose the track of `id`, which starts on frame `firstFrame`.
    void trackChosen(int id, int firstFrame);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillRow(int row, const PictureObject& object);
    int rowOf(int id) const;
    void updateSummary();

    QTableWidget* table_ = nullptr;
    QTabWidget* views_ = nullptr;
    TracksTable* tracks_ = nullptr;
    QLabel* summary_ = nullptr;
    bool choosing_ = false; // a selection made by the window, not by the user
    Measurer measurer_;
};

} // namespace orvik
