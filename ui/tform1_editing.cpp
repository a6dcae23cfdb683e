// Correcting a contour by hand in the main window: "Edit outline" with its handles, pins and
// brush, Relax, Split object, Merge objects and Follow from this frame. Each edit is one undo
// step: a drag changes the document as it goes, and the release that ends it is the step.
#include "command_guard.h"
#include "document/editing.h"
#include "image_view.h"
#include "objects_panel.h"
#include "tform1.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QTableWidget>
#include <QThread>
#include <algorithm>
#include <cmath>

namespace orvik {

void TForm1::buildEditingMenus() {
    EditMenu->addSeparator();
    EditOutlineAction = menuItem(EditMenu, "EditOutlineAction", QStringLiteral("&Edit outline"),
                                 QKeySequence(Qt::Key_E));
    EditOutlineAction->setCheckable(true);
    LeaveEditAction = new QAction(QStringLiteral("Leave Edit outline"), this);
    LeaveEditAction->setObjectName(QStringLiteral("LeaveEditAction"));
    LeaveEditAction->setShortcut(QKeySequence(Qt::Key_Escape));
    LeaveEditAction->setShortcutContext(Qt::WindowShortcut);
    LeaveEditAction->setEnabled(false);
    addAction(LeaveEditAction);

    QMenu* m = AnalysisMenu;
    QAction* before = SetScaleAction;
    RelaxAction =
        menuItem(m, "RelaxAction", QStringLiteral("&Relax"), QKeySequence(Qt::Key_R), before);
    SplitObjectAction =
        menuItem(m, "SplitObjectAction", QStringLiteral("S&plit object"), {}, before);
    MergeObjectsAction =
        menuItem(m, "MergeObjectsAction", QStringLiteral("&Merge objects"), {}, before);
    FollowFromFrameAction =
        menuItem(m, "FollowFromFrameAction", QStringLiteral("Follow from t&his frame"), {}, before);
    m->insertSeparator(before);
}

void TForm1::connectEditing() {
    // Ctrl+click chooses more rows for Merge objects.
    ObjectsPanel1->table()->setSelectionMode(QAbstractItemView::ExtendedSelection);
    connect(EditOutlineAction, &QAction::toggled, this, [this](bool on) {
        runCommand([this, on] {
            if (on) splitting_ = false;
            editDrag_ = EditDrag::None;
            LeaveEditAction->setEnabled(on || splitting_);
            showEditHandles();
        });
    });
    connect(LeaveEditAction, &QAction::triggered, this, [this] {
        runCommand([this] {
            splitting_ = false;
            Dragging = 0;
            Image1->setRubberBand(std::nullopt);
            EditOutlineAction->setChecked(false);
            LeaveEditAction->setEnabled(false);
            shown_.status = statusFor(shown_);
            showStatus();
            showEditHandles();
        });
    });
    connect(RelaxAction, &QAction::triggered, this,
            [this] { userChange(SeparateStep, [this] { RelaxClick(); }); });
    connect(SplitObjectAction, &QAction::triggered, this, [this] {
        runCommand([this] {
            if (doc_.objects().find(doc_.currentId()) == nullptr) return;
            splitting_ = true;
            EditOutlineAction->setChecked(false);
            LeaveEditAction->setEnabled(true);
            shown_.status = QStringLiteral("Split object: draw a line across it (Esc: cancel)");
            showStatus();
        });
    });
    connect(MergeObjectsAction, &QAction::triggered, this,
            [this] { userChange(SeparateStep, [this] { MergeObjectsClick(); }); });
    connect(FollowFromFrameAction, &QAction::triggered, this,
            [this] { userChange(SeparateStep, [this] { FollowFromFrameClick(); }); });
    connect(Image1, &ImageView::brushWheel, this, [this](int steps) {
        runCommand([this, steps] { setBrushRadius(brushRadius_ * std::pow(1.15, steps)); });
    });
}

void TForm1::setBrushRadius(double radius) {
    brushRadius_ = std::clamp(radius, 1.0, 500.0);
    shown_.status = QStringLiteral("Brush radius %1 px").arg(brushRadius_, 0, 'f', 1);
    showStatus();
    showEditHandles();
}

void TForm1::showEditHandles() {
    const PictureObject* object = doc_.objects().find(doc_.currentId());
    if (!editingOutline() || object == nullptr) {
        if (Image1->editOverlay()) Image1->setEditOverlay(std::nullopt);
        return;
    }
    ImageView::EditOverlay overlay;
    const std::vector<ContourPoint> points = contourPoints(*object);
    for (std::size_t i = 0; i < points.size(); ++i) {
        overlay.points.push_back(QPointF(points[i].x, points[i].y));
        overlay.pinned.push_back(std::binary_search(object->pinned.begin(), object->pinned.end(),
                                                    static_cast<std::int32_t>(i)));
    }
    if (brushAt_.x() > -1e8) overlay.brush = brushAt_;
    overlay.brushRadius = brushRadius_;
    overlay.wheel = true;
    Image1->setEditOverlay(std::move(overlay));
}

void TForm1::showEditedObject() {
    doc_.listChanged();
    if (const PictureObject* object = doc_.objects().find(doc_.currentId())) {
        shown_.result = object->result;
        shown_.analysed = true;
        shown_.status = statusFor(shown_);
        ObjectsPanel1->showObject(*object);
    }
    refreshDisplay(doc_.image());
    paintShown(); // the handles too
    Image1->update();
}

void TForm1::relaxIfInstant() {
    if (CheckBox1->isChecked()) relaxObject(doc_, doc_.currentId());
}

bool TForm1::editMouseDown(Qt::MouseButton button, int X, int Y) {
    if (button != Qt::LeftButton) return false;
    if (splitting_) {
        editDrag_ = EditDrag::Split;
        DragStartX = DragEndX = X;
        DragStartY = DragEndY = Y;
        return true;
    }
    if (!editingOutline()) return false;
    PictureObject* object = doc_.objects().find(doc_.currentId());
    if (object == nullptr) return true;
    const Qt::KeyboardModifiers keys = Image1->pressModifiers();
    const double x = X + 0.5, y = Y + 0.5;
    if (keys & Qt::AltModifier) {
        editDrag_ = EditDrag::Brush;
        brushAt_ = {x, y};
        if (pushOutline(*object, x, y, brushRadius_) > 0) keepEdit(doc_, object->id);
        showEditedObject();
        return true;
    }
    // A handle is 7 screen pixels wide at any zoom.
    const double reach = std::max(0.75, 5.0 / Image1->zoom());
    editPoint_ = pointNear(*object, x, y, reach);
    if (editPoint_ < 0) return true;
    editDrag_ = (keys & Qt::ShiftModifier) ? EditDrag::Pin : EditDrag::Point;
    return true;
}

bool TForm1::editMouseMove(int X, int Y) {
    if (editDrag_ == EditDrag::Split) {
        DragEndX = X;
        DragEndY = Y;
        Image1->setRubberBand(ImageView::RubberBand{{DragStartX, DragStartY}, {X, Y}, true});
        Image1->update();
        return true;
    }
    if (!editingOutline()) return false;
    brushAt_ = {X + 0.5, Y + 0.5};
    PictureObject* object = doc_.objects().find(doc_.currentId());
    if (object != nullptr && editDrag_ == EditDrag::Point) {
        movePoint(*object, editPoint_, X + 0.5, Y + 0.5);
        keepEdit(doc_, object->id);
        showEditedObject();
    } else if (object != nullptr && editDrag_ == EditDrag::Brush) {
        if (pushOutline(*object, X + 0.5, Y + 0.5, brushRadius_) > 0) {
            keepEdit(doc_, object->id);
            showEditedObject();
        } else {
            showEditHandles();
        }
    } else {
        showEditHandles();
    }
    return true;
}

bool TForm1::editMouseUp(Qt::MouseButton button, int X, int Y) {
    if (button != Qt::LeftButton) return false;
    const EditDrag drag = editDrag_;
    editDrag_ = EditDrag::None;
    if (drag == EditDrag::Split) {
        splitting_ = false;
        LeaveEditAction->setEnabled(editingOutline());
        Image1->setRubberBand(std::nullopt);
        const std::vector<int> ids =
            splitObject(doc_, doc_.currentId(), DragStartX + 0.5, DragStartY + 0.5, X + 0.5,
                        Y + 0.5, QThread::idealThreadCount());
        objectsChanged();
        const int first = ids.empty() ? doc_.currentId() : ids.front();
        doc_.setCurrent(0);
        chooseObject(first);
        shown_.status =
            ids.empty() ? QStringLiteral("The line does not cut the object in two")
                        : QStringLiteral("Split into objects %1 and %2").arg(ids[0]).arg(ids[1]);
        showStatus();
        return true;
    }
    if (!editingOutline()) return drag != EditDrag::None;
    PictureObject* object = doc_.objects().find(doc_.currentId());
    if (object == nullptr || drag == EditDrag::None) return true;
    if (drag == EditDrag::Pin) {
        togglePin(*object, editPoint_);
        keepEdit(doc_, object->id);
    } else if (drag == EditDrag::Point) {
        movePoint(*object, editPoint_, X + 0.5, Y + 0.5);
        keepEdit(doc_, object->id);
    }
    relaxIfInstant();
    showEditedObject();
    return true;
}

void TForm1::RelaxClick() {
    if (!relaxObject(doc_, doc_.currentId())) return;
    showEditedObject();
    shown_.status = QStringLiteral("Relaxed \u00B7 ") + shown_.status;
    showStatus();
}

void TForm1::MergeObjectsClick() {
    std::vector<int> ids;
    for (const QTableWidgetItem* item : ObjectsPanel1->table()->selectedItems()) {
        const int id = item->data(Qt::UserRole + 1).toInt();
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    }
    if (ids.size() < 2) {
        shown_.status = QStringLiteral("Merge objects: choose two or more rows (Ctrl+click)");
        showStatus();
        return;
    }
    const int id = mergeObjects(doc_, ids, QThread::idealThreadCount());
    objectsChanged();
    if (id == 0) return;
    doc_.setCurrent(0);
    chooseObject(id);
    shown_.status = QStringLiteral("Merged %1 objects into object %2").arg(ids.size()).arg(id);
    showStatus();
}

void TForm1::FollowFromFrameClick() {
    if (doc_.frameCount() < 2) return;
    const int done = followFromFrame(doc_, QThread::idealThreadCount());
    showFrameResults();
    refreshDisplay(doc_.image());
    paintShown();
    Image1->update();
    shown_.status = QStringLiteral("Followed on from frame %1 through %2 frames")
                        .arg(doc_.frame() + 1)
                        .arg(done);
    showStatus();
}

} // namespace orvik
