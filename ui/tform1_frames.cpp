// The frames of a stack in the main window: loading a TIFF file or a folder as frames, the
// frame slider and its keys, the display range of 16-bit pictures, following the objects
// through the frames, and the pixel under the pointer.
#include "command_guard.h"
#include "document/saving.h"
#include "image_view.h"
#include "objects_panel.h"
#include "picture_reader.h"
#include "scale_dialogs.h"
#include "step_progress_bar.h"
#include "tform1.h"
#include "tracks_view.h"

#include <QActionGroup>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QThread>
#include <algorithm>

namespace orvik {

// The frame slider under the picture and the pointer's pixel in the status line.
void TForm1::buildFramesBar() {
    FramesBar = new QWidget(this);
    FramesBar->setObjectName(QStringLiteral("FramesBar"));
    auto* layout = new QHBoxLayout(FramesBar);
    layout->setContentsMargins(scaled(4), scaled(2), scaled(4), scaled(2));
    FrameLabel = new QLabel(FramesBar);
    FrameLabel->setObjectName(QStringLiteral("FrameLabel"));
    FrameSlider = new TrackSlider(FramesBar);
    FrameSlider->setObjectName(QStringLiteral("FrameSlider"));
    FrameSlider->setAccessibleName(QStringLiteral("Frame"));
    FrameSlider->setPageStep(10);
    FrameLabel->setBuddy(FrameSlider);
    layout->addWidget(FrameLabel);
    layout->addWidget(FrameSlider, 1);
    FramesBar->hide();

    PointerLabel = new QLabel(StatusLine);
    PointerLabel->setObjectName(QStringLiteral("PointerLabel"));
    PointerLabel->setAccessibleName(QStringLiteral("Pixel under the pointer"));
    static_cast<QHBoxLayout*>(StatusLine->layout())->insertWidget(1, PointerLabel);
}

void TForm1::connectFrameItems() {
    connect(OpenFramesAction, &QAction::triggered, this,
            [this] { userChange(NotAStep, [this] { OpenFramesClick(); }); });
    connect(FollowAction, &QAction::triggered, this,
            [this] { userChange(SeparateStep, [this] { FollowClick(); }); });
    connect(DisplayRangeAction, &QAction::triggered, this,
            [this] { runCommand([this] { DisplayRangeClick(); }); });
    connect(SaveFramesAction, &QAction::triggered, this,
            [this] { runCommand([this] { SaveFramesClick(); }); });
    connect(SetScaleAction, &QAction::triggered, this,
            [this] { runCommand([this] { SetScaleClick(); }); });
    for (int c = 0; c < 4; ++c)
        connect(ChannelActions[static_cast<std::size_t>(c)], &QAction::triggered, this,
                [this, c] { runCommand([this, c] { setChannel(static_cast<Channel>(c)); }); });
    // Showing another frame runs nothing: no step of its own.
    connect(NextFrameAction, &QAction::triggered, this,
            [this] { userChange(NotAStep, [this] { showFrame(doc_.frame() + 1); }); });
    connect(PreviousFrameAction, &QAction::triggered, this,
            [this] { userChange(NotAStep, [this] { showFrame(doc_.frame() - 1); }); });
    connect(FrameSlider, &QSlider::valueChanged, this,
            [this](int k) { userChange(NotAStep, [this, k] { showFrame(k); }); });
    connect(Image1, &ImageView::moved, this, [this](QPoint p) { showPointer(p.x(), p.y()); });
}

int TForm1::frameCount() const {
    return doc_.frameCount();
}

const std::vector<Track>& TForm1::tracks() const {
    static const std::vector<Track> none;
    return doc_.tracks() != nullptr ? *doc_.tracks() : none;
}

void TForm1::OpenFramesClick() {
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Open frames"),
                                                             QFileInfo(suggestedPath("")).path());
    if (folder.isEmpty()) return;
    loadImageFile(folder, true);
}

void TForm1::takeFrameImage() {
    Image1->setPlainPicture(QImage(doc_.image().GreyData.get(), doc_.image().ImageWidth,
                                   doc_.image().ImageHeight, doc_.image().ImageWidth,
                                   QImage::Format_Grayscale8));
}

void TForm1::showFrameImage() {
    takeFrameImage();
    refreshDisplay(doc_.image());
    paintShown();
    updateThresholdPreview();
    Image1->update();
    showPointer(pointer_.x(), pointer_.y());
}

void TForm1::showFrame(int frame) {
    frame = std::clamp(frame, 0, frameCount() - 1);
    if (frame == doc_.frame() || doc_.stack().frames.frameCount() < 2) return;
    // The new frame first, so that the objects' rows measure their contours on it. When its
    // file can no longer give it, the slider goes back to the frame still shown.
    try {
        doc_.setFrame(frame);
    } catch (const std::exception&) {
        const QSignalBlocker quiet(FrameSlider);
        FrameSlider->setValue(doc_.frame());
        throw;
    }
    takeFrameImage();
    showFrameResults();
    refreshDisplay(doc_.image());
    paintShown();
    updateThresholdPreview();
    Image1->update();
    {
        const QSignalBlocker quiet(FrameSlider);
        FrameSlider->setValue(doc_.frame());
    }
    FrameLabel->setText(QStringLiteral("Frame %1 / %2").arg(doc_.frame() + 1).arg(frameCount()));
    showObjectOutlines();
    showPointer(pointer_.x(), pointer_.y());
}

// With tracks, each object shows its contour on the frame shown, as the document has it; the
// current object, when its track does not reach the frame, shows none and says why.
void TForm1::showFrameResults() {
    const std::vector<Track>* tracks = doc_.tracks();
    if (tracks == nullptr) return;
    const int id = doc_.currentId();
    for (const Track& track : *tracks) {
        if (track.id != id) continue;
        const PictureObject* object = doc_.objects().find(id);
        if (id != 0 && object != nullptr) {
            shown_.result = object->result;
        } else if (id == 0) {
            // The contour followed alone.
            const int at = doc_.frame() - track.firstFrame;
            shown_.result = at >= 0 && at < static_cast<int>(track.frames.size())
                                ? track.frames[static_cast<std::size_t>(at)]
                                : ContourResult{};
        }
        shown_.analysed = true;
        shown_.status = statusFor(shown_);
        if (doc_.frame() < track.firstFrame)
            shown_.status = QStringLiteral("Object %1 \u00B7 followed from frame %2 on")
                                .arg(id)
                                .arg(track.firstFrame + 1);
        else if (doc_.frame() > track.lastFrame() + 1 &&
                 (!track.error.empty() || !track.ended.empty()))
            shown_.status =
                QStringLiteral("Object %1 \u00B7 track ended on frame %2: %3")
                    .arg(id)
                    .arg(track.lastFrame() + 2)
                    .arg(QString::fromStdString(track.error.empty() ? track.ended : track.error));
        else if (doc_.frame() >
                 track.lastFrame() + (track.error.empty() && track.ended.empty() ? 0 : 1))
            shown_.status = QStringLiteral("Object %1 \u00B7 not followed to this frame").arg(id);
    }
    objectsChanged();
}

void TForm1::FollowClick() {
    if (doc_.stack().frames.frameCount() < 2) return;
    std::vector<PictureObject> list = doc_.objects().objects();
    if (list.empty()) list.push_back({0, controlValues(), shown_.result, {}}); // the contour
    const int count = frameCount() - doc_.frame();
    // Objects that all came from Find objects are followed with detection: found again on
    // every frame, tracks that end, arrivals and divisions.
    std::optional<TrackingRules> tracking;
    if (found_ && !doc_.objects().objects().empty() &&
        std::all_of(list.begin(), list.end(), [this](const PictureObject& object) {
            return std::find(found_->ids.begin(), found_->ids.end(), object.id) !=
                   found_->ids.end();
        })) {
        tracking = found_->rules;
        tracking->find = resolvedPolarity(doc_.image(), tracking->find);
    }
    QProgressDialog progress(
        QStringLiteral("Following %1 objects through %2 frames\u2026").arg(list.size()).arg(count),
        QStringLiteral("Stop"), 0, count, this);
    progress.setObjectName(QStringLiteral("FollowProgress"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    FollowOutcome outcome = followObjects(
        list, [this](int k) { return doc_.frameImage(k); }, doc_.frame(), count,
        doc_.file().toStdString(), QThread::idealThreadCount(),
        [&](int done) {
            progress.setValue(done);
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        },
        {}, tracking ? &*tracking : nullptr);
    progress.reset();
    int ended = 0;
    int started = 0;
    for (const Track& track : outcome.tracks) {
        ended += track.error.empty() && track.ended.empty() ? 0 : 1;
        started += track.firstFrame > doc_.frame() ? 1 : 0;
    }
    if (tracking)
        for (const Track& track : outcome.tracks)
            if (std::find(found_->ids.begin(), found_->ids.end(), track.id) == found_->ids.end())
                found_->ids.push_back(track.id); // arrivals and daughters
    doc_.setTracks(std::move(outcome.tracks));
    showFrameResults();
    refreshDisplay(doc_.image());
    paintShown();
    Image1->update();
    QString status =
        QStringLiteral("Followed %1 through frames %2 to %3")
            .arg(doc_.objects().size() == 0 ? QStringLiteral("the contour")
                                            : QStringLiteral("%1 objects").arg(list.size()))
            .arg(doc_.frame() + 1)
            .arg(doc_.frame() + outcome.framesDone);
    if (outcome.framesDone < count) status += QStringLiteral(" (stopped)");
    const auto tracks = [](int n) {
        return n == 1 ? QStringLiteral("1 track") : QStringLiteral("%1 tracks").arg(n);
    };
    if (started > 0) status += QStringLiteral(" \u00B7 %1 started").arg(tracks(started));
    if (ended > 0) status += QStringLiteral(" \u00B7 %1 ended").arg(tracks(ended));
    shown_.status = status + QStringLiteral(" \u00B7 ") + shown_.status;
    showStatus();
}

void TForm1::showTracks() {
    std::vector<Track> shown;
    for (const Track& track : tracks())
        if (track.id != 0 && doc_.objects().find(track.id) != nullptr) shown.push_back(track);
    ObjectsPanel1->showTracks(shown);
    std::vector<int> starts, ends;
    trackMarks(shown, starts, ends);
    static_cast<TrackSlider*>(FrameSlider)->setMarks(std::move(starts), std::move(ends));
}

void TForm1::setDisplayRange(DisplayRange range) {
    if (doc_.stack().frames.frameCount() == 0) return;
    doc_.setRange(range);
    showFrameImage();
}

void TForm1::SaveFramesClick() {
    if (doc_.tracks() == nullptr) return;
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Save frames to folder"), QFileInfo(suggestedPath("")).path());
    if (folder.isEmpty()) return;
    lastFolder_ = folder;
    saveFramesTo(folder);
}

void TForm1::saveFramesTo(const QString& folder) {
    const auto [first, last] = doc_.trackedFrames();
    if (last < first) return;
    saveFrames(doc_, folder, first, last);
    shown_.status = QStringLiteral("Saved frames %1 to %2 in %3")
                        .arg(first + 1)
                        .arg(last + 1)
                        .arg(QDir::toNativeSeparators(folder)) +
                    QStringLiteral(" \u00B7 ") + shown_.status;
    showStatus();
}

PictureUnits TForm1::units() const {
    return doc_.units();
}

void TForm1::setScale(std::optional<Calibration> scale) {
    doc_.setScale(std::move(scale));
    objectsChanged();
    shown_.status = statusFor(shown_);
    showStatus();
}

void TForm1::SetScaleClick() {
    SetScaleDialog dialog(this, units().calibration);
    if (dialog.exec() == QDialog::Accepted) setScale(dialog.scale());
}

// A colour picture analysed through one channel: the picture is shown and sampled in it.
void TForm1::setChannel(Channel channel) {
    if (doc_.stack().frames.layout() != SampleLayout::Rgb8) return;
    doc_.setChannel(channel);
    ChannelActions[static_cast<std::size_t>(channel)]->setChecked(true);
    showFrameImage();
}

void TForm1::DisplayRangeClick() {
    const FrameStack& frames = doc_.stack().frames;
    if (frames.frameCount() == 0) return;
    DisplayRangeDialog dialog(this, doc_.stack().range, autoRange(frames),
                              frames.layout() == SampleLayout::Grey16);
    if (dialog.exec() == QDialog::Accepted) setDisplayRange(dialog.range());
}

namespace {

// The value of sample `at` of a frame as the file holds it: "1234", or "12, 34, 56" in colour.
QString rawValue(const FrameStack& frames, int frame, std::size_t at) {
    switch (frames.layout()) {
    case SampleLayout::Grey16:
        return QString::number(frames.frame16(frame)[at]);
    case SampleLayout::Grey8:
        return QString::number(frames.frame8(frame)[at]);
    case SampleLayout::Rgb8:
        break;
    }
    const auto samples = frames.frame8(frame);
    const std::uint8_t* rgb = samples.get() + 3 * at;
    return QStringLiteral("%1, %2, %3").arg(rgb[0]).arg(rgb[1]).arg(rgb[2]);
}

} // namespace

// "x 120, y 45 · 1234": the pixel under the pointer and its value as the file holds it.
void TForm1::showPointer(int X, int Y) {
    pointer_ = {X, Y};
    if (doc_.image().Display.isNull() || X < 0 || Y < 0 || X >= doc_.image().ImageWidth ||
        Y >= doc_.image().ImageHeight) {
        PointerLabel->clear();
        return;
    }
    const std::size_t at = static_cast<std::size_t>(Y) * doc_.image().ImageWidth + X;
    QString value = QString::number(doc_.image().GreyData[at]);
    const FrameStack& frames = doc_.stack().frames;
    if (frames.frameCount() > 0 && frames.width() == doc_.image().ImageWidth) {
        try {
            value = rawValue(frames, doc_.frame(), at);
        } catch (const std::exception&) {
            // The frame's file can no longer give it: its grey value stays.
        }
    }
    PointerLabel->setText(QStringLiteral("x %1, y %2 \u00B7 %3").arg(X).arg(Y).arg(value));
}

} // namespace orvik
