// The window's view of tracks, followed with detection: the "Tracks" table of the Objects panel
// (each track's id, first and last frame, parent and end) and the frame slider that marks the
// frames where tracks start or end.
#pragma once

#include "core/picture_object.h"

#include <QSlider>
#include <QTableWidget>
#include <vector>

namespace orvik {

class TracksTable : public QTableWidget {
    Q_OBJECT
public:
    explicit TracksTable(QWidget* parent = nullptr);
    // Fills the table anew, a row per track (frames numbered from 1, as the frame label does).
    void showTracks(const std::vector<Track>& tracks);

signals:
    // The user chose the track of `id`, which starts on `firstFrame` (from 0).
    void trackChosen(int id, int firstFrame);

private:
    bool filling_ = false;
};

class TrackSlider : public QSlider {
    Q_OBJECT
public:
    explicit TrackSlider(QWidget* parent = nullptr);
    // The frames where tracks start (after the first frame followed) or end.
    void setMarks(std::vector<int> starts, std::vector<int> ends);
    const std::vector<int>& starts() const { return starts_; }
    const std::vector<int>& ends() const { return ends_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<int> starts_, ends_;
};

// The starts and ends of `tracks` to mark: starts after the earliest first frame, ends before
// the frame after the last one followed.
void trackMarks(const std::vector<Track>& tracks, std::vector<int>& starts, std::vector<int>& ends);

} // namespace orvik
