// The picture's objects in the main window: the Objects panel, the Analysis menu's object
// items, saving and opening lists, the outlines of the objects that are not current, and
// keeping the current object in step with the controls.
#include "command_guard.h"
#include "document/saving.h"
#include "find_objects_dialog.h"
#include "image_view.h"
#include "io/object_formats.h"
#include "io/settings.h"
#include "objects_panel.h"
#include "spin_field.h"
#include "step_progress_bar.h"
#include "tform1.h"
#include "tform1_layout.h"
#include "threshold_tint.h"
#include "updating_scope.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QTableWidget>
#include <QThread>
#include <QUndoStack>
#include <algorithm>

namespace orvik {

namespace {

// The wait cursor while the objects are analysed, restored however the analysis ends.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

void TForm1::buildObjectsPanel() {
    ObjectsPanel1 = new ObjectsPanel(this);
    // About ten rows: enough to choose among, while the picture keeps the room.
    ObjectsPanel1->setFixedHeight(scaled(sizes::ObjectsPanelHeight));
    ObjectsPanel1->hide();
}

void TForm1::connectObjectItems() {
    const std::pair<QAction*, void (TForm1::*)()> steps[] = {
        {AddObjectAction, &TForm1::AddObjectClick},
        {FindObjectsAction, &TForm1::FindObjectsClick},
        {DeleteObjectAction, &TForm1::DeleteObjectClick},
        {ClearObjectsAction, &TForm1::ClearObjectsClick},
        {AnalyseAllAction, &TForm1::AnalyseAllClick},
        {OpenObjectsAction, &TForm1::OpenObjectsClick},
    };
    for (const auto& [action, handler] : steps)
        connect(action, &QAction::triggered, this, [this, handler = handler] {
            userChange(SeparateStep, [this, handler] { (this->*handler)(); });
        });
    // Saving changes nothing in the window: no step.
    connect(SaveObjectsAction, &QAction::triggered, this,
            [this] { runCommand([this] { SaveObjectsClick(); }); });
    connect(ShowObjectsAction, &QAction::toggled, this, [this](bool show) {
        objectsPanelShown_ = true;
        showObjectsPanel(show);
    });
    // Choosing another object shows it and runs nothing: no step of its own.
    connect(ObjectsPanel1, &ObjectsPanel::objectChosen, this,
            [this](int id) { userChange(NotAStep, [this, id] { chooseObject(id); }); });
    // Choosing a track goes to its first frame, with its object chosen.
    connect(ObjectsPanel1, &ObjectsPanel::trackChosen, this, [this](int id, int first) {
        userChange(NotAStep, [this, id, first] {
            showFrame(first);
            chooseObject(id);
        });
    });
}

void TForm1::setFindDialogRunner(FindDialogRunner runner) {
    findDialogRunner_ = std::move(runner);
}

// ---- the list and what shows it ----

void TForm1::restoreObjects(const DocumentState& state) {
    const int frame = doc_.frame();
    doc_.restore(state);
    if (doc_.frame() != frame) {
        const QSignalBlocker quiet(FrameSlider);
        FrameSlider->setValue(doc_.frame());
        FrameLabel->setText(
            QStringLiteral("Frame %1 / %2").arg(doc_.frame() + 1).arg(frameCount()));
        takeFrameImage();
    }
    if (PictureObject* current = doc_.objects().find(doc_.currentId())) {
        current->values = controlValues();
        current->result = shown_.result;
        current->error = doc_.currentError();
    }
    objectsChanged();
}

void TForm1::keepCurrentObject() {
    PictureObject* current = doc_.objects().find(doc_.currentId());
    if (current == nullptr) {
        // The free contour changed: what the controls hold now is its own.
        freeValues_.reset();
        return;
    }
    current->values = controlValues();
    // A contour made anew from the box: the hand's corrections and their pins are gone.
    current->edited = false;
    current->pinned.clear();
    doc_.keepResult(current->id, shown_.result, doc_.currentError());
    // A failed analysis keeps the drawing that was shown, marked with its error.
    current->result = shown_.result;
    ObjectsPanel1->showObject(*current);
}

void TForm1::objectsChanged() {
    doc_.listChanged();
    if (doc_.objects().find(doc_.currentId()) == nullptr) doc_.setCurrent(0);
    const Calibration scale = units().calibration;
    // Each object as the files measure it, its flags "failed" and "overlap" among them.
    ObjectsPanel1->setMeasurer(
        [this](const PictureObject& object) {
            return doc_.measure(object, doc_.image(), doc_.frame());
        },
        scale.known ? scale.unit : QString());
    // The objects of the frame shown, as the files save them.
    ObjectsPanel1->showObjects(doc_.objectsOn(doc_.frame()), doc_.currentId());
    showTracks();
    showObjectOutlines();
    // The panel appears with the first object; once the user has shown or hidden it, it
    // stays as the user left it.
    if (doc_.objects().size() > 0 && !objectsPanelShown_ && !ObjectsPanel1->isVisible()) {
        objectsPanelShown_ = true;
        ShowObjectsAction->setChecked(true);
    }
    applyEnablingRules();
}

void TForm1::showObjectOutlines() {
    QList<ImageView::ObjectOutline> outlines;
    for (const PictureObject& object : doc_.objectsOn(doc_.frame())) {
        if (object.id == doc_.currentId() || object.result.vertices.empty()) continue;
        QPolygon line;
        for (const Vertex& v : object.result.vertices)
            line << QPoint(v.x, v.y);
        outlines.push_back({object.id, line});
    }
    Image1->setObjectOutlines(std::move(outlines));
}

void TForm1::showObjectsPanel(bool show) {
    if (ObjectsPanel1->isVisible() == show) return;
    // The window grows by the panel, within the screen, and the picture keeps its room.
    const int wanted = height() + (show ? 1 : -1) * ObjectsPanel1->height();
    ObjectsPanel1->setVisible(show);
    if (!isVisible() || isMaximized() || isFullScreen()) return;
    const QScreen* s = screen();
    if (s == nullptr) return;
    const QRect room = s->availableGeometry();
    const int frame = frameGeometry().height() - height();
    resize(width(), std::max(std::min(wanted, room.height() - frame), minimumSizeHint().height()));
    QRect placed = frameGeometry();
    placed.moveBottom(std::min(placed.bottom(), room.bottom()));
    placed.moveTop(std::max(placed.top(), room.top()));
    move(placed.topLeft());
}

// ---- the items ----

void TForm1::chooseObject(int id) {
    if (id == doc_.currentId()) return;
    doc_.listChanged();
    PictureObject* object = doc_.objects().find(id);
    if (object == nullptr) {
        // The contour stays as it is, no object's any more.
        doc_.setCurrent(0);
        doc_.setCurrentError({});
    } else {
        // The free contour's own values, kept for the next picture while objects' are shown.
        if (doc_.currentId() == 0 && !freeValues_) freeValues_ = controlValues();
        doc_.setCurrent(id);
        doc_.setCurrentError(object->error);
        {
            const UpdatingScope guard(Updating);
            setControlValues(object->values);
        }
        shown_.result = object->result;
        shown_.analysed = object->result.iteration > 0;
        applyEnablingRules();
    }
    shown_.status = statusFor(shown_);
    ObjectsPanel1->selectObject(doc_.currentId());
    showObjectOutlines();
    refreshDisplay(doc_.image());
    paintShown();
    Image1->update();
    applyEnablingRules();
}

void TForm1::AddObjectClick() {
    if (doc_.image().Display.isNull()) return;
    const int id = doc_.objects().add(controlValues());
    PictureObject* added = doc_.objects().find(id);
    added->result = shown_.result;
    added->error = doc_.currentError();
    // The contour goes on free: the next box starts the next object.
    doc_.setCurrent(0);
    doc_.setCurrentError({});
    objectsChanged();
    shown_.status = QStringLiteral("Added object %1 \u00B7 ").arg(id) + statusFor(shown_);
    showStatus();
}

void TForm1::DeleteObjectClick() {
    const std::vector<PictureObject>& list = doc_.objects().objects();
    const auto doomed = std::find_if(list.begin(), list.end(), [this](const PictureObject& o) {
        return o.id == doc_.currentId();
    });
    if (doomed == list.end()) return;
    // The object after it becomes current, or the one before when it was the last.
    const auto next = doomed + 1 != list.end() ? doomed + 1
                      : doomed != list.begin() ? doomed - 1
                                               : list.end();
    const int nextId = next != list.end() ? next->id : 0;
    doc_.objects().remove(doc_.currentId());
    doc_.setCurrent(0);
    doc_.setCurrentError({});
    objectsChanged();
    chooseObject(nextId);
}

void TForm1::ClearObjectsClick() {
    doc_.objects().clear();
    doc_.setCurrent(0);
    doc_.setCurrentError({});
    objectsChanged();
    shown_.status = statusFor(shown_);
    showStatus();
}

void TForm1::AnalyseAllClick() {
    const std::size_t count = doc_.objects().size();
    if (count == 0) return;
    {
        const WaitCursor wait;
        ProgressBar1->setMaximum(static_cast<int>(count));
        doc_.analyseAll(QThread::idealThreadCount(), [this](std::size_t done) {
            ProgressBar1->setValue(static_cast<int>(done));
        });
        ProgressBar1->setValue(0);
    }
    std::size_t failed = 0, flagged = 0;
    for (const PictureObject& object : doc_.objects().objects()) {
        if (!object.error.empty())
            ++failed;
        else if (!doc_.measure(object, doc_.image(), doc_.frame()).flags.empty())
            ++flagged;
    }
    if (const PictureObject* current = doc_.objects().find(doc_.currentId())) {
        shown_.result = current->result;
        shown_.analysed = true;
        doc_.setCurrentError(current->error);
        shown_.status = statusFor(shown_);
    }
    QString summary = QStringLiteral("Analysed %1 objects").arg(count);
    if (failed > 0) summary += QStringLiteral(" \u00B7 %1 failed").arg(failed);
    if (flagged > 0) summary += QStringLiteral(" \u00B7 %1 flagged").arg(flagged);
    shown_.status =
        summary +
        (shown_.status.isEmpty() ? QString() : QStringLiteral(" \u00B7 ") + shown_.status);
    objectsChanged();
    refreshDisplay(doc_.image());
    paintShown();
    Image1->update();
}

void TForm1::SaveObjectsClick() {
    QStringList filters;
    std::vector<ObjectsFormat> offered;
    for (const ObjectsFormatInfo& info : objectsFormats()) {
        if (info.format == ObjectsFormat::Overlay) continue; // File › Save overlay… shows it
        filters << QString::fromLatin1(info.filter);
        offered.push_back(info.format);
    }
    const FileChoice choice =
        chooseFile({FileRequest::Purpose::Save, QStringLiteral("Save objects as"), filters,
                    suggestedPath(objectsFormatInfo(ObjectsFormat::RoiSet).fileEnding)});
    if (choice.path.isEmpty()) return;
    // The file's own extension decides; a name without one takes the chosen file type's.
    QString path = choice.path;
    std::optional<ObjectsFormat> format = objectsFormatForPath(path);
    if (!format) {
        const qsizetype chosen = std::max<qsizetype>(0, filters.indexOf(choice.filter));
        format = offered[static_cast<std::size_t>(chosen)];
        path = withFilterExtension(path, filters[chosen]);
    }
    saveFrameObjects(doc_, *format, path);
}

void TForm1::OpenObjectsClick() {
    const FileChoice choice =
        chooseFile({FileRequest::Purpose::Open,
                    QStringLiteral("Open objects"),
                    {QString::fromLatin1(objectsFormatInfo(ObjectsFormat::Json).filter),
                     QString::fromLatin1(objectsFormatInfo(ObjectsFormat::RoiSet).filter),
                     QString::fromLatin1(objectsFormatInfo(ObjectsFormat::GeoJson).filter),
                     QStringLiteral("All files (*)")},
                    QFileInfo(suggestedPath("")).path()});
    if (choice.path.isEmpty()) return;
    openObjectsFile(choice.path);
}

void TForm1::openObjectsFile(const QString& path) {
    if (doc_.image().Display.isNull()) return;
    // Everything is read and checked before the list changes.
    // Outlines that came without settings get them from their region on this picture, and
    // every outline is measured on it.
    std::vector<PictureObject> opened =
        placeObjects(readObjects(path), doc_.image(), doc_.file().toStdString());
    for (const PictureObject& object : opened) {
        const Box b = boxOf(object.values.fields);
        if (offPicture(b, doc_.image().ImageWidth, doc_.image().ImageHeight))
            throw SettingsError(
                QStringLiteral("Objects file \"%1\", object %2: the box [%3, %4, %5, %6] does "
                               "not fit the image of %7 x %8 pixels")
                    .arg(path)
                    .arg(object.id)
                    .arg(b.x1)
                    .arg(b.y1)
                    .arg(b.x2)
                    .arg(b.y2)
                    .arg(doc_.image().ImageWidth)
                    .arg(doc_.image().ImageHeight)
                    .toStdString());
    }
    // Outlines are kept as they are; objects saved with their settings alone are analysed.
    const auto bare = [](const PictureObject& o) { return o.result.contour.empty(); };
    const bool analyse = std::any_of(opened.begin(), opened.end(), bare);
    doc_.objects().clear();
    for (PictureObject& object : opened)
        doc_.objects().restore(std::move(object));
    doc_.setCurrent(0);
    doc_.setCurrentError({});
    if (analyse) {
        const WaitCursor wait;
        doc_.analyseAll(QThread::idealThreadCount(), {}, bare);
    }
    objectsChanged();
    shown_.status = QStringLiteral("Opened %1 objects from %2 \u00B7 ")
                        .arg(doc_.objects().size())
                        .arg(QFileInfo(path).fileName()) +
                    shown_.status;
    showStatus();
}

} // namespace orvik
