// The Objects panel: one row per object of the picture with its measurements, sortable by
// any column; choosing a row makes that object the current one.
#pragma once

#include "measurements.h"
#include "objects.h"

#include <QWidget>
#include <vector>

class QLabel;
class QTableWidget;

namespace orvik {

class ObjectsPanel : public QWidget {
    Q_OBJECT
public:
    explicit ObjectsPanel(QWidget* parent = nullptr);

    // Fills the table anew; `currentId` (0 for none) is selected. Each object is measured on
    // `grey`.
    void showObjects(const std::vector<PictureObject>& objects, int currentId,
                     const GreyBufferView& grey);
    // Updates the row of one object only, as a change of the current object does.
    void showObject(const PictureObject& object, const GreyBufferView& grey);
    // Selects the row of `id`, or none for 0, without reporting a choice.
    void selectObject(int id);

    // The table as tab-separated text with its header, rows in the order shown: what a
    // spreadsheet takes from the clipboard.
    QString tableText() const;
    int rowCount() const;

    QTableWidget* table() const { return table_; }

signals:
    // The user chose the row of `id` (0: no row is chosen any more).
    void objectChosen(int id);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillRow(int row, const PictureObject& object, const GreyBufferView& grey);
    int rowOf(int id) const;
    void updateSummary();

    QTableWidget* table_ = nullptr;
    QLabel* summary_ = nullptr;
    bool choosing_ = false; // a selection made by the window, not by the user
};

} // namespace orvik
